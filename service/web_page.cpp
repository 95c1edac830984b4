#include "web_page.hpp"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "api.hpp"
#include "service.hpp"

namespace tauravatd {
namespace {

namespace fs = std::filesystem;

Answer PageFile(const std::string& folder, const std::string& name, const Answers& answers) {
  const auto type = PageFileType(name);
  // The route's pattern takes no "/", and no name of the page starts with a dot: nothing
  // outside the folder, and none of its hidden files, can be named.
  if (folder.empty() || !type || name.front() == '.') {
    return answers.Error(ErrorKind::kNotFound, 404, "no such file of the page");
  }
  std::ifstream file(fs::path(folder) / name, std::ios::binary);
  std::ostringstream text;
  if (file) text << file.rdbuf();
  if (!file || text.str().empty()) {
    return answers.Error(ErrorKind::kNotFound, 404, "no such file of the page");
  }
  Answer answer;
  answer.text = text.str();
  answer.contentType = *type;
  return answer;
}

}  // namespace

std::optional<std::string> FindPageFolder() {
  std::error_code error;
  const fs::path program = fs::read_symlink("/proc/self/exe", error);
  if (error) return std::nullopt;
  for (const fs::path& folder :
       {program.parent_path().parent_path() / "share" / "tauravatd" / "web",
        program.parent_path() / "web"}) {
    if (fs::is_regular_file(folder / "index.html", error)) return folder.string();
  }
  return std::nullopt;
}

std::optional<std::string> PageFileType(const std::string& name) {
  const std::string extension = fs::path(name).extension().string();
  if (extension == ".html") return "text/html; charset=utf-8";
  if (extension == ".css") return "text/css; charset=utf-8";
  if (extension == ".js") return "text/javascript; charset=utf-8";
  if (extension == ".svg") return "image/svg+xml";
  if (extension == ".png") return "image/png";
  return std::nullopt;
}

void AddPageRoutes(std::vector<Route>& routes, Service& service) {
  const std::string folder = service.Config().webFolder;
  const Answers& answers = service.Answer();
  routes.push_back(
      {"GET", "/",
       [folder, &answers](const ApiRequest&) { return PageFile(folder, "index.html", answers); },
       true});
  routes.push_back({"GET", "/web/{file}",
                    [folder, &answers](const ApiRequest& request) {
                      return PageFile(folder, request.params.at(0), answers);
                    },
                    true});
}

}  // namespace tauravatd
