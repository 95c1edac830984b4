// The shipped driver's names and messages for result codes, as the answers carry them.
#include "handle_backend.hpp"

#include <gtest/gtest.h>

namespace tauravatd {
namespace {

TEST(HandleDriver, NamesEachCodeAsTheHeaderDoesWithBothMessages) {
  const auto driver = MakeHandleDriver();
  const CodeDescription paper = driver->Describe(109);
  EXPECT_EQ(paper.name, "TAURAVAT_E_PAPER_OUT");
  EXPECT_EQ(paper.messagePl, "Brak papieru lub podniesiona głowica mechanizmu drukującego.");
  EXPECT_NE(paper.messageEn, "");
  EXPECT_NE(paper.messageEn, paper.messagePl);
  EXPECT_EQ(driver->Describe(0).name, "TAURAVAT_OK");
  EXPECT_EQ(driver->Describe(999).name, "TAURAVAT_E_INTERNAL");
  // The operating system's errors from opening a port have no name of their own.
  EXPECT_EQ(driver->Describe(2).name, "OS_ERROR");
}

}  // namespace
}  // namespace tauravatd
