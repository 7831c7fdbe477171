// Finding and loading the text summary module (see SummaryModule.h).
#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>

#include "DCU_Text.h"
#include "SummaryModule.h"

namespace {

std::filesystem::path ProgramFolder() {
  std::error_code Ec;
  const std::filesystem::path Self = std::filesystem::read_symlink("/proc/self/exe", Ec);
  return Ec ? std::filesystem::path() : Self.parent_path();
}

}  // namespace

std::unique_ptr<TSummaryModule> TSummaryModule::Load(std::string& Error) {
  const std::filesystem::path Folder = ProgramFolder();
  const std::filesystem::path Candidates[] = {Folder / UNITPEEK_SUMMARY_MODULE_DIR / SummaryModuleName,
                                              Folder / SummaryModuleName};
  Error = "no " + std::string(SummaryModuleName) + " in " + Candidates[0].parent_path().lexically_normal().string() +
          " or " + Folder.string();
  for (const std::filesystem::path& P : Candidates) {
    std::error_code Ec;
    if (!std::filesystem::exists(P, Ec)) continue;
    // Never closed: Qt stays loaded until the program ends. Bound lazily, as
    // the libraries the program links are.
    void* Handle = dlopen(P.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!Handle) {
      Error = dlerror();
      return nullptr;
    }
    auto* Fn = reinterpret_cast<TSummaryTextFn>(dlsym(Handle, SummaryTextSymbol));
    if (!Fn) {
      Error = P.string() + ": no " + SummaryTextSymbol;
      return nullptr;
    }
    return std::unique_ptr<TSummaryModule>(new TSummaryModule(Fn));
  }
  return nullptr;
}

std::string ErrorBlockText(std::string_view Error) { return "\nError:\n" + DisplayUtf8(Error) + "\n"; }
