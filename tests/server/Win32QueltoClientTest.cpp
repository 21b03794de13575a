// A C++ client of zandrel.dll: the object early-bound through the generated header and
// late-bound through IDispatch, the exports as the COM runtime calls them, aggregation, and the
// module lock count that decides unloading.
#include "zandrel_h.h"

#include <gtest/gtest.h>
#include <oleauto.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <thread>

#include "object/setup/WindowDriver.h"

namespace {
using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using CanUnloadNow = HRESULT(WINAPI*)();
using Register = HRESULT(WINAPI*)();

HMODULE dll = nullptr;
GetClassObject getClassObject = nullptr;
CanUnloadNow canUnloadNow = nullptr;

template <typename Function>
Function Export(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

class QueltoClientTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    CoInitialize(nullptr);
    std::string path = "Z:" ZANDREL_DLL;
    std::replace(path.begin(), path.end(), '/', '\\');
    dll = LoadLibraryA(path.c_str());
    ASSERT_TRUE(dll);
    getClassObject = Export<GetClassObject>("DllGetClassObject");
    canUnloadNow = Export<CanUnloadNow>("DllCanUnloadNow");
    ASSERT_TRUE(getClassObject && canUnloadNow);
    ASSERT_EQ(Export<Register>("DllRegisterServer")(), S_OK);
  }
  static void TearDownTestSuite() { CoUninitialize(); }

  static IQuelto* Make() {
    IQuelto* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_Quelto, nullptr, CLSCTX_INPROC_SERVER, IID_IQuelto, reinterpret_cast<void**>(&object)), S_OK);
    return object;
  }
  static IClassFactory* Factory() {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(getClassObject(CLSID_Quelto, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    return factory;
  }
};

std::wstring Text(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

// One object through the generated header, then through IDispatch: what a script cannot pass
// (null pointers and strings), the file prompt and the refusal's message box as the user meets
// them, named arguments and Setup's own sheet.
TEST_F(QueltoClientTest, EarlyAndLateBound) {
  IQuelto* q = Make();
  ASSERT_TRUE(q);
  // Null out pointers: one get of each kind, and every method that has one.
  using TextGet = HRESULT (STDMETHODCALLTYPE IQuelto::*)(BSTR*);
  EXPECT_EQ(q->get_BaudRate(nullptr), E_POINTER);
  EXPECT_EQ(q->get_Port(nullptr), E_POINTER);
  EXPECT_EQ(q->get_FileList(nullptr), E_POINTER);
  EXPECT_EQ(q->get_ModemName(nullptr), E_POINTER);
  EXPECT_EQ(q->Load(nullptr), E_POINTER);
  EXPECT_EQ(q->Save(nullptr), E_POINTER);
  // Null strings put read back empty, through each kind of text rule.
  using TextPut = HRESULT (STDMETHODCALLTYPE IQuelto::*)(BSTR);
  const struct {
    TextPut put;
    TextGet get;
  } texts[] = {{&IQuelto::put_DefaultDir, &IQuelto::get_DefaultDir}, {&IQuelto::put_FileList, &IQuelto::get_FileList},
               {&IQuelto::put_Telephone, &IQuelto::get_Telephone}};
  for (const auto& t : texts) {
    BSTR before = SysAllocString(L"something");
    EXPECT_EQ((q->*t.put)(before), S_OK);
    SysFreeString(before);
    EXPECT_EQ((q->*t.put)(nullptr), S_OK);
    BSTR stale = SysAllocString(L"stale"), after = stale;  // an [out] value is not the callee's to free
    EXPECT_EQ((q->*t.get)(&after), S_OK);
    EXPECT_EQ(Text(after), L"");
    SysFreeString(after);
    SysFreeString(stale);
  }
  EXPECT_EQ(q->Setup(1, 1, 1, 1, nullptr), E_POINTER);
  EXPECT_EQ(q->TransferFiles(0, 0, nullptr), E_POINTER);

  // TransferFiles with its file prompt: the module's file dialog, cancelled, leaves no file to
  // send (3). What typed names become is Win32FilePromptDialogsTest's.
  EXPECT_EQ(q->Reset(1), S_OK);
  std::thread user([] {
    HWND open = WindowDriver::WaitFor("Select File to Transfer");
    if (open) WindowDriver::Click(open, IDCANCEL);
  });
  LONG result = -1;
  EXPECT_EQ(q->TransferFiles(1, 0, &result), S_OK);
  user.join();
  EXPECT_EQ(result, 3);
  short attempted = -1;  // whatever the variable held before
  EXPECT_EQ(q->get_Attempted(&attempted), S_OK);
  EXPECT_EQ(attempted, 0);

  // The refusal's message box: over the active window, which hears the Help button only while
  // the box is up. The user's thread reads the box and presses OK.
  BSTR title = SysAllocString(L"Nightly upload");
  q->put_MaxTitle(title);
  SysFreeString(title);
  q->put_FlowControl(1);
  HWND host = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr,
                              nullptr, nullptr);
  SetActiveWindow(host);
  const LONG_PTR hostProcedure = GetWindowLongPtrA(host, GWLP_WNDPROC);
  std::string text;
  bool hasHelp = false, subclassed = false;
  user = std::thread([&] {
    HWND box = WindowDriver::WaitFor("Nightly upload");
    if (!box) return;
    char shown[200] = {};
    GetDlgItemTextA(box, 0xFFFF, shown, sizeof shown);
    text = shown;
    hasHelp = GetDlgItem(box, IDHELP) != nullptr;
    subclassed = GetWindowLongPtrA(host, GWLP_WNDPROC) != hostProcedure;
    PostMessageA(box, WM_COMMAND, IDOK, 0);
  });
  EXPECT_EQ(q->TransferFiles(0, 1, &result), S_OK);
  user.join();
  EXPECT_EQ(result, 1);
  EXPECT_EQ(text, "XON/XOFF flow control is only\nallowed with Z-Modem protocol.");
  EXPECT_TRUE(hasHelp);
  EXPECT_TRUE(subclassed);
  EXPECT_EQ(GetWindowLongPtrA(host, GWLP_WNDPROC), hostProcedure);
  DestroyWindow(host);

  // Late-bound, named arguments in the opposite order: ShowErrors 0, FilePrompt 0, with XON/XOFF
  // still on XModem.
  IDispatch* d = nullptr;
  ASSERT_EQ(q->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d)), S_OK);
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"transferfiles"), const_cast<LPOLESTR>(L"ShowErrors"),
                      const_cast<LPOLESTR>(L"FilePrompt")};
  DISPID ids[3] = {};
  ASSERT_EQ(d->GetIDsOfNames(IID_NULL, names, 3, 0x409, ids), S_OK);
  EXPECT_EQ(ids[0], 35);
  EXPECT_EQ(ids[1], 1);
  EXPECT_EQ(ids[2], 0);
  VARIANT args[2];
  VariantInit(&args[0]);
  VariantInit(&args[1]);
  V_VT(&args[0]) = VT_I4, V_I4(&args[0]) = 0;   // ShowErrors
  V_VT(&args[1]) = VT_I2, V_I2(&args[1]) = 0;   // FilePrompt, coerced to long
  DISPID named[] = {1, 0};
  DISPPARAMS params = {args, named, 2, 2};
  VARIANT answer;
  VariantInit(&answer);
  EXPECT_EQ(d->Invoke(35, IID_NULL, 0x409, DISPATCH_METHOD, &params, &answer, nullptr, nullptr), S_OK);
  EXPECT_EQ(V_VT(&answer), VT_I4);
  EXPECT_EQ(V_I4(&answer), 1);

  EXPECT_EQ(d->Invoke(36, IID_NULL, 0x409, DISPATCH_METHOD, &params, &answer, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);

  // Setup late-bound: the module's own sheet, captioned with MaxTitle, cancelled by the user.
  title = SysAllocString(L"Client");
  EXPECT_EQ(q->put_MaxTitle(title), S_OK);
  SysFreeString(title);
  user = std::thread([] {
    HWND sheet = WindowDriver::WaitFor("Setup Client");
    if (sheet) WindowDriver::Press(sheet, PSBTN_CANCEL);
  });
  VARIANT setupArgs[4];
  for (VARIANT& a : setupArgs) V_VT(&a) = VT_I4, V_I4(&a) = 1;
  DISPPARAMS setupParams = {setupArgs, nullptr, 4, 0};
  EXPECT_EQ(d->Invoke(34, IID_NULL, 0x409, DISPATCH_METHOD, &setupParams, &answer, nullptr, nullptr), S_OK);
  user.join();
  EXPECT_EQ(V_VT(&answer), VT_I2);
  EXPECT_EQ(V_I2(&answer), 0);
  d->Release();
  q->Release();

  // What an early-binding host finds through the registry: the library, with the dual interface.
  ITypeLib* library = nullptr;
  ASSERT_EQ(LoadRegTypeLib(LIBID_ZANDRELLib, 1, 0, 0x409, &library), S_OK);
  ITypeInfo* dual = nullptr;
  ASSERT_EQ(library->GetTypeInfoOfGuid(IID_IQuelto, &dual), S_OK);
  dual->Release();
  library->Release();
}

// Settings a build on the ANSI functions stored load as the texts they were: the registry keeps
// REG_SZ in UTF-16 whichever function wrote it.
TEST_F(QueltoClientTest, TextsStoredThroughTheAnsiFunctionsLoad) {
  const char ansi[] = "C:\\\xC4rger \xE9t\xE9";  // in the ANSI code page, 1252 here
  ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\Harbwick\\Zandrel", "DefaultDir", REG_SZ, ansi, sizeof ansi),
            ERROR_SUCCESS);
  IQuelto* q = Make();
  ASSERT_TRUE(q);
  short loaded = 0;
  BSTR folder = nullptr;
  EXPECT_EQ(q->Load(&loaded), S_OK);
  EXPECT_EQ(q->get_DefaultDir(&folder), S_OK);
  EXPECT_EQ(Text(folder), L"C:\\\u00C4rger \u00E9t\u00E9");
  SysFreeString(folder);
  q->Release();
  RegDeleteKeyValueA(HKEY_CURRENT_USER, "Software\\Harbwick\\Zandrel", "DefaultDir");
}

// A host whose message loop runs while its transfer does (a timer in a macro): what would change
// the settings the worker reads is refused with its reason, reading is not, and once the
// transfer is over the same calls work again.
IQuelto* busyObject = nullptr;
HRESULT busyPut = S_OK, busyPutCode = S_OK, busyReset = S_OK, busyTransfer = S_OK, busySetup = S_OK, busyGet = E_FAIL;
std::wstring busyWhy;

void CALLBACK WhileRunning(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  IQuelto* q = busyObject;
  // As a script puts it: through IDispatch, the reason in the exception it raises.
  VARIANT rate;
  V_VT(&rate) = VT_I4, V_I4(&rate) = 9600;
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params = {&rate, &put, 1, 1};
  EXCEPINFO exception = {};
  busyPut = q->Invoke(3, IID_NULL, 0x409, DISPATCH_PROPERTYPUT, &params, nullptr, &exception, nullptr);
  busyWhy = Text(exception.bstrDescription);
  busyPutCode = exception.scode;
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrSource);
  busyReset = q->Reset(2);
  LONG result = 0;
  busyTransfer = q->TransferFiles(0, 0, &result);
  short shown = 0;
  busySetup = q->Setup(1, 0, 0, 0, &shown);
  LONG baud = 0;
  busyGet = q->get_BaudRate(&baud);
  // The transfer has failed on a port that is not there and waits for its Close.
  if (HWND window = WindowDriver::WaitFor("Reentry")) WindowDriver::Click(window, IDCANCEL);
}

TEST_F(QueltoClientTest, CallsThatWouldChangeTheSettingsWaitForTheTransferToEnd) {
  IQuelto* q = Make();
  ASSERT_TRUE(q);
  BSTR title = SysAllocString(L"Reentry");
  q->put_MaxTitle(title);
  SysFreeString(title);
  q->put_Port(998);  // a port that is not installed selects the first: none opens here
  q->put_FileList(nullptr);
  q->put_Transfer(0);
  busyObject = q;
  SetTimer(nullptr, 0, 200, WhileRunning);
  LONG result = -1;
  EXPECT_EQ(q->TransferFiles(0, 1, &result), S_OK);
  EXPECT_EQ(busyPut, DISP_E_EXCEPTION);
  EXPECT_EQ(busyPutCode, 0x80040201);
  EXPECT_EQ(busyWhy, L"A transfer is running.");
  EXPECT_EQ(busyReset, 0x80040201);
  EXPECT_EQ(busyTransfer, 0x80040201);
  EXPECT_EQ(busySetup, 0x80040201);
  EXPECT_EQ(busyGet, S_OK);
  LONG baud = 0;
  EXPECT_EQ(q->get_BaudRate(&baud), S_OK);
  EXPECT_EQ(baud, 19200);  // the refused put changed nothing
  EXPECT_EQ(q->put_BaudRate(9600), S_OK);
  q->Release();
}

// An outer object that aggregates Quelto: it answers IUnknown itself and passes everything else
// to the inner object.
class Outer : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown)) {
      *object = this;
      AddRef();
      return S_OK;
    }
    return inner->QueryInterface(iid, object);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --references;
    if (left == 0) {
      inner->Release();
      inner = nullptr;
      ++destroyed;
    }
    return left;
  }
  IUnknown* inner = nullptr;
  ULONG references = 1;
  int destroyed = 0;
};

TEST_F(QueltoClientTest, AggregationAndUnloading) {
  EXPECT_EQ(canUnloadNow(), S_OK);
  void* nothing = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClassObject(IID_IQuelto, IID_IClassFactory, &nothing), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(nothing, nullptr);
  EXPECT_EQ(getClassObject(CLSID_Quelto, IID_IClassFactory, nullptr), E_POINTER);

  IClassFactory* factory = Factory();
  ASSERT_TRUE(factory);
  EXPECT_EQ(canUnloadNow(), S_FALSE);  // a host holds the factory
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory->Release();
  EXPECT_EQ(canUnloadNow(), S_FALSE);  // the lock
  factory = Factory();
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);

  for (bool outerFirst : {false, true}) {
    Outer outer;
    IQuelto* refused = nullptr;
    EXPECT_EQ(factory->CreateInstance(&outer, IID_IQuelto, reinterpret_cast<void**>(&refused)), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(refused, nullptr);
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.inner)), S_OK);
    IQuelto* q = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_IQuelto, reinterpret_cast<void**>(&q)), S_OK);
    EXPECT_EQ(outer.references, 2u);  // the inner object's interfaces count on the outer object
    IUnknown* identity = nullptr;
    ASSERT_EQ(q->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    identity->Release();
    LONG baud = 0;
    EXPECT_EQ(q->put_BaudRate(38400), S_OK);
    EXPECT_EQ(q->get_BaudRate(&baud), S_OK);
    EXPECT_EQ(baud, 38400);
    if (outerFirst) {
      outer.Release();
      EXPECT_EQ(outer.destroyed, 0);
      q->Release();
    } else {
      q->Release();
      outer.Release();
    }
    EXPECT_EQ(outer.destroyed, 1);
    EXPECT_EQ(canUnloadNow(), S_FALSE);  // the factory is still held
  }
  IUnknown* plain = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&plain)), S_OK);
  factory->Release();
  EXPECT_EQ(canUnloadNow(), S_FALSE);  // the object holds the module
  plain->Release();
  EXPECT_EQ(canUnloadNow(), S_OK);
}
}  // namespace
