// Uses both installed headers: the C interface and the C++ string twins.
#include <tauravat.h>

#include <cstdio>
#include <string>
#include <tauravat.hpp>

int main() {
  std::string version;
  if (DllVersion(version) != 0) return 1;
  char message[1024];
  if (pErrMessage(212, message) != 0) return 1;
  std::printf("libtauravat %s\n%s\n", version.c_str(), message);
  return 0;
}
