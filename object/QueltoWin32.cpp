#include "object/Quelto.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>

#include "job/FilePrompt.h"
#include "job/ProgressWindow.h"
#include "job/StatusTable.h"
#include "job/TransferJob.h"
#include "link/WideText.h"
#include "modem/DeviceLists.h"
#include "modem/RegistryKey.h"
#include "object/ErrorBox.h"
#include "object/ModuleLock.h"
#include "object/SettingsStore.h"
#include "object/setup/FilePromptDialogs.h"
#include "object/setup/SetupSheet.h"

namespace {
TransferSettings& Settings() { return TransferSettings::Process(); }

// The module this code is linked into (zandrel.dll), whoever loaded it.
HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&Settings), &module);
  return module;
}

// An OLE string as the product's text (UTF-8). An unpaired surrogate becomes U+FFFD, never a
// look-alike: a file name must not silently turn into another existing one.
std::string Utf8(BSTR text) {
  std::wstring_view wide(text, SysStringLen(text));
  // An embedded zero ends the text, as it would in the record's character fields.
  return WideText::Narrow(wide.substr(0, wide.find(L'\0')));
}

// A new OLE string from the product's text; null when it cannot be made.
BSTR Ole(const std::string& text) {
  const std::wstring wide = WideText::Widen(text);
  return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

template <typename T, typename V>
HRESULT Give(T* out, V value) {
  if (out == nullptr) return E_POINTER;
  *out = static_cast<T>(value);
  return S_OK;
}

// Set while a TransferFiles call of this process runs: its worker reads the one settings record
// all objects share, so nothing may change the record until the call returns. A host whose
// message loop runs meanwhile (a timer in a macro, a script's callback) gets this refusal.
std::atomic<bool> transferRunning{false};

HRESULT RefuseWhileRunning() {
  ICreateErrorInfo* made = nullptr;
  if (SUCCEEDED(CreateErrorInfo(&made))) {
    made->SetGUID(IID_IQuelto);
    made->SetSource(const_cast<LPOLESTR>(L"Zandrel.Quelto"));
    made->SetDescription(const_cast<LPOLESTR>(L"A transfer is running."));
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(made->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
      SetErrorInfo(0, info);
      info->Release();
    }
    made->Release();
  }
  return Quelto::kTransferRunning;
}

// A change of the settings: made, or refused while a transfer runs.
template <typename F>
HRESULT Change(F change) {
  if (transferRunning) return RefuseWhileRunning();
  change();
  return S_OK;
}

template <typename F, typename V>
HRESULT Store(F& field, V value) {
  return Change([&] { field = value; });
}

// Text gets: a string that cannot be made is handed out as the empty (null) string.
HRESULT GiveText(BSTR* out, const std::string& text) {
  if (out == nullptr) return E_POINTER;
  *out = Ole(text);
  return S_OK;
}

// The module's folder as its class registration names it, with its last backslash.
std::string RegisteredDirectory() {
  wchar_t clsid[40] = {};
  if (StringFromGUID2(CLSID_Quelto, clsid, 40) == 0) return std::string();
  char path[80];
  wsprintfA(path, "CLSID\\%ls\\InprocServer32", clsid);
  std::unique_ptr<RegistryKey> classes = Registry::ClassesRoot();
  std::unique_ptr<RegistryKey> server = classes ? classes->Open(path) : nullptr;
  std::string module;
  if (!server || !server->ReadString("", module)) return std::string();
  const size_t slash = module.find_last_of('\\');
  return slash == std::string::npos ? std::string() : TransferSettings::Cut(module.substr(0, slash + 1), 261);
}
}  // namespace

HRESULT Quelto::Create(IUnknown* outer, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  Quelto* made = new (std::nothrow) Quelto(outer);
  if (made == nullptr) return E_OUTOFMEMORY;
  if (!made->LoadTypeInfo()) {
    made->inner.Release();
    return TYPE_E_CANTLOADLIBRARY;
  }
  const HRESULT result = made->inner.QueryInterface(iid, object);
  made->inner.Release();
  return result;
}

Quelto::Quelto(IUnknown* outer)
    : inner(*this), controlling(outer ? outer : &inner), rules(Settings(), DeviceLists::Process()) {
  ModuleLock::Add();
  moduleDirectory = RegisteredDirectory();
  Settings().Reset(1, moduleDirectory);
}

Quelto::~Quelto() {
  if (typeInfo) typeInfo->Release();
  ModuleLock::Release();
}

bool Quelto::LoadTypeInfo() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(ThisModule(), path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  ITypeLib* library = nullptr;
  if (FAILED(LoadTypeLibEx(path, REGKIND_NONE, &library))) return false;
  const HRESULT found = library->GetTypeInfoOfGuid(IID_IQuelto, &typeInfo);
  library->Release();
  return SUCCEEDED(found);
}

HRESULT Quelto::Inner::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown)) {
    *object = static_cast<IUnknown*>(this);
  } else if (IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IQuelto)) {
    *object = static_cast<IQuelto*>(&owner);
  } else if (IsEqualIID(iid, IID_ISupportErrorInfo)) {
    *object = static_cast<ISupportErrorInfo*>(&owner);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  static_cast<IUnknown*>(*object)->AddRef();
  return S_OK;
}

ULONG Quelto::Inner::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&owner.references)); }

ULONG Quelto::Inner::Release() {
  const LONG left = InterlockedDecrement(&owner.references);
  if (left == 0) delete &owner;
  return static_cast<ULONG>(left);
}

HRESULT Quelto::QueryInterface(REFIID iid, void** object) { return controlling->QueryInterface(iid, object); }
ULONG Quelto::AddRef() { return controlling->AddRef(); }
ULONG Quelto::Release() { return controlling->Release(); }

HRESULT Quelto::GetTypeInfoCount(UINT* count) { return Give(count, 1); }

HRESULT Quelto::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  typeInfo->AddRef();
  *info = typeInfo;
  return S_OK;
}

HRESULT Quelto::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  return DispGetIDsOfNames(typeInfo, names, count, ids);
}

HRESULT Quelto::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                       EXCEPINFO* exception, UINT* argumentError) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  SetErrorInfo(0, nullptr);
  return typeInfo->Invoke(static_cast<IQuelto*>(this), id, flags, params, result, exception, argumentError);
}

HRESULT Quelto::InterfaceSupportsErrorInfo(REFIID iid) {
  return IsEqualIID(iid, IID_IQuelto) ? S_OK : S_FALSE;
}

HRESULT Quelto::get_AppendToLog(LONG* v) { return Give(v, Settings().AppendToLog); }
HRESULT Quelto::put_AppendToLog(LONG v) { return Store(Settings().AppendToLog, v); }
HRESULT Quelto::get_Attempted(short* v) { return Give(v, Settings().Attempted); }
HRESULT Quelto::get_BaudRate(LONG* v) { return Give(v, Settings().BaudRate); }
HRESULT Quelto::put_BaudRate(LONG v) {
  return Change([&] { rules.PutBaudRate(v); });
}

HRESULT Quelto::get_CrashRecovery(short* v) { return Give(v, Settings().CrashRecovery); }
HRESULT Quelto::put_CrashRecovery(short v) {
  return Change([&] { rules.PutCrashRecovery(v); });
}

HRESULT Quelto::get_DefaultDir(BSTR* v) { return GiveText(v, Settings().DefaultDir); }
HRESULT Quelto::put_DefaultDir(BSTR v) {
  return Change([&] { rules.PutDefaultDir(Utf8(v).c_str()); });
}

HRESULT Quelto::get_FileList(BSTR* v) {
  if (v == nullptr) return E_POINTER;
  *v = Ole(Settings().FileList);
  return *v ? S_OK : E_OUTOFMEMORY;
}

HRESULT Quelto::put_FileList(BSTR v) { return Store(Settings().FileList, Utf8(v)); }
HRESULT Quelto::get_FlowControl(short* v) { return Give(v, Settings().FlowControl); }
HRESULT Quelto::put_FlowControl(short v) {
  return Change([&] { rules.PutFlowControl(v); });
}

HRESULT Quelto::get_HelpFile(BSTR* v) { return GiveText(v, Settings().HelpFile); }
HRESULT Quelto::get_HostMode(LONG* v) { return Give(v, Settings().HostMode); }
HRESULT Quelto::put_HostMode(LONG v) { return Store(Settings().HostMode, v); }
HRESULT Quelto::get_LogFilename(BSTR* v) { return GiveText(v, Settings().LogFilename); }
HRESULT Quelto::put_LogFilename(BSTR v) {
  return Change([&] { rules.PutLogFilename(Utf8(v).c_str()); });
}

HRESULT Quelto::get_LogToFile(LONG* v) { return Give(v, Settings().LogToFile); }
HRESULT Quelto::put_LogToFile(LONG v) { return Store(Settings().LogToFile, v); }
HRESULT Quelto::get_LogToScreen(LONG* v) { return Give(v, Settings().LogToScreen); }
HRESULT Quelto::put_LogToScreen(LONG v) { return Store(Settings().LogToScreen, v); }
HRESULT Quelto::get_MaxErrors(short* v) { return Give(v, Settings().MaxErrors); }
HRESULT Quelto::put_MaxErrors(short v) {
  return Change([&] { rules.PutMaxErrors(v); });
}

HRESULT Quelto::get_MaxTitle(BSTR* v) { return GiveText(v, Settings().MaxTitle); }
HRESULT Quelto::put_MaxTitle(BSTR v) {
  return Change([&] { rules.PutMaxTitle(Utf8(v).c_str()); });
}

HRESULT Quelto::get_MinTitle(BSTR* v) { return GiveText(v, Settings().MinTitle); }
HRESULT Quelto::put_MinTitle(BSTR v) {
  return Change([&] { rules.PutMinTitle(Utf8(v).c_str()); });
}

HRESULT Quelto::get_ModemCmd(BSTR* v) { return GiveText(v, Settings().ModemCmd); }
HRESULT Quelto::put_ModemCmd(BSTR v) {
  return Change([&] { rules.PutModemCmd(Utf8(v).c_str()); });
}

HRESULT Quelto::get_ModemName(BSTR* v) { return GiveText(v, rules.GetModemName()); }
HRESULT Quelto::put_ModemName(BSTR v) {
  return Change([&] { rules.PutModemName(Utf8(v).c_str()); });
}

HRESULT Quelto::get_Overwrite(short* v) { return Give(v, Settings().Overwrite); }
HRESULT Quelto::put_Overwrite(short v) {
  return Change([&] { rules.PutOverwrite(v); });
}

HRESULT Quelto::get_PathSwitch(short* v) { return Give(v, Settings().PathSwitch); }
HRESULT Quelto::put_PathSwitch(short v) {
  return Change([&] { rules.PutPathSwitch(v); });
}

HRESULT Quelto::get_Port(short* v) { return Give(v, rules.GetPort()); }
HRESULT Quelto::put_Port(short v) {
  return Change([&] { rules.PutPort(v); });
}

HRESULT Quelto::get_Protocol(short* v) { return Give(v, Settings().Protocol); }
HRESULT Quelto::put_Protocol(short v) {
  return Change([&] { rules.PutProtocol(v); });
}

HRESULT Quelto::get_RecvTimeout(LONG* v) { return Give(v, Settings().RecvTimeout); }
HRESULT Quelto::put_RecvTimeout(LONG v) { return Store(Settings().RecvTimeout, v); }
HRESULT Quelto::get_SendTimeout(LONG* v) { return Give(v, Settings().SendTimeout); }
HRESULT Quelto::put_SendTimeout(LONG v) { return Store(Settings().SendTimeout, v); }
HRESULT Quelto::get_RunMinimized(LONG* v) { return Give(v, Settings().RunMinimized); }
HRESULT Quelto::put_RunMinimized(LONG v) { return Store(Settings().RunMinimized, v); }
HRESULT Quelto::get_Telephone(BSTR* v) { return GiveText(v, Settings().Telephone); }

HRESULT Quelto::put_Telephone(BSTR v) {
  return Change([&] {
    std::unique_ptr<RegistryKey> user = Registry::CurrentUser();
    if (user) rules.PutTelephone(Utf8(v).c_str(), *user);
  });
}

HRESULT Quelto::get_Transfer(LONG* v) { return Give(v, Settings().Transfer); }
HRESULT Quelto::put_Transfer(LONG v) { return Store(Settings().Transfer, v); }
HRESULT Quelto::get_Transferred(short* v) { return Give(v, Settings().Transferred); }
HRESULT Quelto::get_UseModem(LONG* v) { return Give(v, Settings().UseModem); }
HRESULT Quelto::put_UseModem(LONG v) {
  return Change([&] { rules.PutUseModem(v); });
}

HRESULT Quelto::get_Verbose(LONG* v) { return Give(v, Settings().Verbose); }
HRESULT Quelto::put_Verbose(LONG v) { return Store(Settings().Verbose, v); }
HRESULT Quelto::get_WindowSize(short* v) { return Give(v, Settings().WindowSize); }
HRESULT Quelto::put_WindowSize(short v) {
  return Change([&] { rules.PutWindowSize(v); });
}

HRESULT Quelto::Load(short* result) {
  if (result == nullptr) return E_POINTER;
  return Change([&] {
    std::unique_ptr<RegistryKey> user = Registry::CurrentUser();
    *result = user ? SettingsStore::Load(Settings(), *user, DeviceLists::Process()) : -1;
  });
}

HRESULT Quelto::Reset(short defaultType) {
  return Change([&] { Settings().Reset(defaultType, moduleDirectory); });
}

HRESULT Quelto::Save(short* result) {
  if (result == nullptr) return E_POINTER;
  std::unique_ptr<RegistryKey> user = Registry::CurrentUser();
  if (user) SettingsStore::Save(Settings(), *user, DeviceLists::Process());
  *result = 0;
  return S_OK;
}

HRESULT Quelto::Setup(LONG showGeneral, LONG showTransfer, LONG showLogging, LONG showModem, short* result) {
  if (result == nullptr) return E_POINTER;
  if (!showGeneral && !showTransfer && !showLogging && !showModem) return E_FAIL;
  if (transferRunning) return RefuseWhileRunning();
  std::unique_ptr<RegistryKey> user = Registry::CurrentUser();
  SetupPages pages;
  pages.general = showGeneral != 0;
  pages.transfer = showTransfer != 0;
  pages.logging = showLogging != 0;
  pages.modem = showModem != 0;
  *result = user && SetupSheet(Settings(), DeviceLists::Process(), *user).Run(pages) == 1 ? 0 : -1;
  return S_OK;
}

HRESULT Quelto::TransferFiles(LONG filePrompt, LONG showErrors, LONG* result) {
  if (result == nullptr) return E_POINTER;
  if (transferRunning.exchange(true)) return RefuseWhileRunning();
  struct Running {
    ~Running() { transferRunning = false; }
  } running;
  TransferSettings& s = Settings();
  s.Attempted = 0;
  s.Transferred = 0;
  int32_t refused = TransferJob::CheckOptions(s);
  if (refused == 0 && filePrompt) {
    FilePromptDialogs windows(s.HelpFile);
    refused = FilePrompt::Run(s, windows);
  }
  if (refused == 0) refused = TransferJob::CheckFileList(s, filePrompt != 0, s.Attempted);
  if (refused != 0) {
    *result = refused;
    // A prompt the user cancelled (6) needs no message.
    if (showErrors && refused != 6) ErrorBox::Show(StatusTable::ResultText(refused), s.MaxTitle, s.HelpFile, StatusTable::HelpTopic(refused));
    return S_OK;
  }
  TransferJob job(showErrors, s, DeviceLists::Process());
  ProgressWindow window(job);
  // Modal over the host's window; back here once the run is over and the window has closed.
  if (window.RunModal(GetActiveWindow()) != 0) {
    *result = 7;  // the window could not be made: nothing ran, for want of resources
    return S_OK;
  }
  *result = job.result;
  if (s.Attempted == 0) s.Attempted = static_cast<int16_t>(window.filesSeen);
  return S_OK;
}
