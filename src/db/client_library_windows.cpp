#include <windows.h>

#include <vector>

#include "db/client.h"
#include "db/client_library.h"

namespace qdz::db {

// The InterBase-compatible name the error message carries; fbclient.dll is tried first.
const char* const Client::kDefaultLibrary = "gds32.dll";

namespace {

// A Firebird installation provides fbclient.dll and, when asked to, a gds32.dll copy of it for
// older programs; either serves.
std::vector<std::string> CandidatesFor(const std::string& name) {
  if (name == Client::kDefaultLibrary) return {"fbclient.dll", name};
  return {name};
}

}  // namespace

std::unique_ptr<ClientLibrary> ClientLibrary::Load(const std::string& name) {
  for (const std::string& candidate : CandidatesFor(name)) {
    HMODULE module = ::LoadLibraryA(candidate.c_str());
    if (module == nullptr) continue;
    // Pinned: no FreeLibrary, ours or anyone's, unloads it while its threads run.
    HMODULE pinned = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                         reinterpret_cast<LPCSTR>(module), &pinned);
    return std::unique_ptr<ClientLibrary>(new ClientLibrary(module));
  }
  return nullptr;
}

std::unique_ptr<ClientLibrary> ClientLibrary::IfLoaded(const std::string& name) {
  for (const std::string& candidate : CandidatesFor(name)) {
    HMODULE module = nullptr;
    // Counted like LoadLibrary, so the destructor's FreeLibrary is balanced.
    if (::GetModuleHandleExA(0, candidate.c_str(), &module)) return std::unique_ptr<ClientLibrary>(new ClientLibrary(module));
  }
  return nullptr;
}

ClientLibrary::~ClientLibrary() { ::FreeLibrary(static_cast<HMODULE>(handle_)); }

void (*ClientLibrary::Symbol(const char* name) const)() {
  return reinterpret_cast<void (*)()>(::GetProcAddress(static_cast<HMODULE>(handle_), name));
}

}  // namespace qdz::db
