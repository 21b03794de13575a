// The type library's facts for registration, read from the library embedded in the module.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>

#include "link/WideText.h"
#include "server/ServerRegistration.h"

namespace {
std::string Utf8(const wchar_t* text) { return text ? WideText::Narrow(text) : std::string(); }

std::string Braced(const GUID& id) {
  wchar_t text[40] = {};
  return StringFromGUID2(id, text, 40) ? Utf8(text) : std::string();
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
        out.interfaces.push_back({Braced(type->guid), Utf8(name)});
        SysFreeString(name);
      }
      info->ReleaseTypeAttr(type);
    }
    info->Release();
  }
}
}  // namespace

bool ServerRegistration::ReadLibrary(const char* modulePath, Library& out) {
  const std::wstring path = WideText::Widen(modulePath ? modulePath : "");
  ITypeLib* library = nullptr;
  if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library))) return false;
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
    out.title = Utf8(title);
    SysFreeString(title);
    out.interfaces.clear();
    ReadInterfaces(library, out);
  }
  library->Release();
  return ok;
}
