// The type library's facts for registration, read from the library embedded in the module.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>

#include "server/ServerRegistration.h"

namespace {
std::string Ansi(const wchar_t* text) {
  if (text == nullptr) return std::string();
  const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, &out[0], size, nullptr, nullptr);
  out.resize(static_cast<size_t>(size - 1));
  return out;
}

std::string Braced(const GUID& id) {
  wchar_t text[40] = {};
  return StringFromGUID2(id, text, 40) ? Ansi(text) : std::string();
}

// The interfaces the system marshals through the type library: dispatch and dual interfaces,
// and plain ones marked for automation.
void ReadInterfaces(ITypeLib* library, ServerRegistration::Library& out) {
  for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
    ITypeInfo* info = nullptr;
    if (FAILED(library->GetTypeInfo(i, &info))) continue;
    TYPEATTR* type = nullptr;
    if (SUCCEEDED(info->GetTypeAttr(&type))) {
      if (type->typekind == TKIND_DISPATCH ||
          (type->typekind == TKIND_INTERFACE && (type->wTypeFlags & TYPEFLAG_FOLEAUTOMATION))) {
        BSTR name = nullptr;
        library->GetDocumentation(static_cast<INT>(i), &name, nullptr, nullptr, nullptr);
        out.interfaces.push_back({Braced(type->guid), Ansi(name)});
        SysFreeString(name);
      }
      info->ReleaseTypeAttr(type);
    }
    info->Release();
  }
}
}  // namespace

bool ServerRegistration::ReadLibrary(const char* modulePath, Library& out) {
  wchar_t path[MAX_PATH];
  if (MultiByteToWideChar(CP_ACP, 0, modulePath, -1, path, MAX_PATH) == 0) return false;
  ITypeLib* library = nullptr;
  if (FAILED(LoadTypeLibEx(path, REGKIND_NONE, &library))) return false;
  TLIBATTR* attributes = nullptr;
  const bool ok = SUCCEEDED(library->GetLibAttr(&attributes));
  if (ok) {
    char text[32];
    out.id = Braced(attributes->guid);
    std::snprintf(text, sizeof text, "%x.%x", attributes->wMajorVerNum, attributes->wMinorVerNum);
    out.version = text;
    std::snprintf(text, sizeof text, "%lx", static_cast<unsigned long>(attributes->lcid));
    out.locale = text;
    out.system = attributes->syskind == SYS_WIN64 ? "win64" : "win32";
    std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(attributes->wLibFlags));
    out.flags = text;
    library->ReleaseTLibAttr(attributes);
    BSTR title = nullptr;
    library->GetDocumentation(-1, nullptr, &title, nullptr, nullptr);
    out.title = Ansi(title);
    SysFreeString(title);
    out.interfaces.clear();
    ReadInterfaces(library, out);
  }
  library->Release();
  return ok;
}
