// The shop's page: plain files (HTML, CSS, JavaScript modules) from one folder, served at
// "/" and "/web/{file}" without the access token, since they hold no data: the page asks
// for the token and reads everything through the interface, like any other client.
#pragma once

#include <optional>
#include <string>

namespace tauravatd {

// Where the page is when the configuration does not say: installed beside the program
// (PREFIX/share/tauravatd/web for PREFIX/bin/tauravatd), or in the build tree (a "web"
// folder next to the program). Nothing when neither holds an index.html.
std::optional<std::string> FindPageFolder();

// The content type a page file is served with, from its name; nothing for a kind of file
// the page does not use.
std::optional<std::string> PageFileType(const std::string& name);

}  // namespace tauravatd
