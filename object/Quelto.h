// The automation object Zandrel.Quelto: the dual interface IQuelto over the process's settings
// record. It converts between OLE strings and the ANSI code page and forwards to the portable
// rules; IDispatch is answered from the type library embedded in the module, so the IDL is the
// one source of names and dispatch ids. It can be aggregated.
#pragma once
#include <windows.h>
#include <ole2.h>

#include <string>

#include "object/PropertyRules.h"
#include "zandrel_h.h"

class Quelto final : public IQuelto, public ISupportErrorInfo {
 public:
  // What a call that would change the settings returns while a transfer of this process runs
  // (Reset, Load, Setup, TransferFiles and every put; gets and Save stay allowed), with an
  // error object saying "A transfer is running.".
  static constexpr HRESULT kTransferRunning = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x0201);

  // Makes an object and asks it for iid. With an outer object the new one is its inner object
  // and iid must be IUnknown (the inner unknown the outer object keeps). Returns S_OK,
  // E_POINTER, CLASS_E_NOAGGREGATION, E_NOINTERFACE or E_OUTOFMEMORY; *object is null on failure.
  static HRESULT Create(IUnknown* outer, REFIID iid, void** object);

  // IUnknown: passed to the outer object when there is one.
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // IDispatch, from the type library.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argumentError) override;

  // ISupportErrorInfo: a refused call says why in an error object.
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override;

  // IQuelto, in the order of the interface.
  STDMETHODIMP get_AppendToLog(LONG* value) override;
  STDMETHODIMP put_AppendToLog(LONG value) override;
  STDMETHODIMP get_Attempted(short* value) override;
  STDMETHODIMP get_BaudRate(LONG* value) override;
  STDMETHODIMP put_BaudRate(LONG value) override;
  STDMETHODIMP get_CrashRecovery(short* value) override;
  STDMETHODIMP put_CrashRecovery(short value) override;
  STDMETHODIMP get_DefaultDir(BSTR* value) override;
  STDMETHODIMP put_DefaultDir(BSTR value) override;
  STDMETHODIMP get_FileList(BSTR* value) override;
  STDMETHODIMP put_FileList(BSTR value) override;
  STDMETHODIMP get_FlowControl(short* value) override;
  STDMETHODIMP put_FlowControl(short value) override;
  STDMETHODIMP get_HelpFile(BSTR* value) override;
  STDMETHODIMP get_HostMode(LONG* value) override;
  STDMETHODIMP put_HostMode(LONG value) override;
  STDMETHODIMP get_LogFilename(BSTR* value) override;
  STDMETHODIMP put_LogFilename(BSTR value) override;
  STDMETHODIMP get_LogToFile(LONG* value) override;
  STDMETHODIMP put_LogToFile(LONG value) override;
  STDMETHODIMP get_LogToScreen(LONG* value) override;
  STDMETHODIMP put_LogToScreen(LONG value) override;
  STDMETHODIMP get_MaxErrors(short* value) override;
  STDMETHODIMP put_MaxErrors(short value) override;
  STDMETHODIMP get_MaxTitle(BSTR* value) override;
  STDMETHODIMP put_MaxTitle(BSTR value) override;
  STDMETHODIMP get_MinTitle(BSTR* value) override;
  STDMETHODIMP put_MinTitle(BSTR value) override;
  STDMETHODIMP get_ModemCmd(BSTR* value) override;
  STDMETHODIMP put_ModemCmd(BSTR value) override;
  STDMETHODIMP get_ModemName(BSTR* value) override;
  STDMETHODIMP put_ModemName(BSTR value) override;
  STDMETHODIMP get_Overwrite(short* value) override;
  STDMETHODIMP put_Overwrite(short value) override;
  STDMETHODIMP get_PathSwitch(short* value) override;
  STDMETHODIMP put_PathSwitch(short value) override;
  STDMETHODIMP get_Port(short* value) override;
  STDMETHODIMP put_Port(short value) override;
  STDMETHODIMP get_Protocol(short* value) override;
  STDMETHODIMP put_Protocol(short value) override;
  STDMETHODIMP get_RecvTimeout(LONG* value) override;
  STDMETHODIMP put_RecvTimeout(LONG value) override;
  STDMETHODIMP get_SendTimeout(LONG* value) override;
  STDMETHODIMP put_SendTimeout(LONG value) override;
  STDMETHODIMP get_RunMinimized(LONG* value) override;
  STDMETHODIMP put_RunMinimized(LONG value) override;
  STDMETHODIMP get_Telephone(BSTR* value) override;
  STDMETHODIMP put_Telephone(BSTR value) override;
  STDMETHODIMP get_Transfer(LONG* value) override;
  STDMETHODIMP put_Transfer(LONG value) override;
  STDMETHODIMP get_Transferred(short* value) override;
  STDMETHODIMP get_UseModem(LONG* value) override;
  STDMETHODIMP put_UseModem(LONG value) override;
  STDMETHODIMP get_Verbose(LONG* value) override;
  STDMETHODIMP put_Verbose(LONG value) override;
  STDMETHODIMP get_WindowSize(short* value) override;
  STDMETHODIMP put_WindowSize(short value) override;
  STDMETHODIMP Load(short* result) override;
  STDMETHODIMP Reset(short defaultType) override;
  STDMETHODIMP Save(short* result) override;
  STDMETHODIMP Setup(LONG showGeneral, LONG showTransfer, LONG showLogging, LONG showModem, short* result) override;
  STDMETHODIMP TransferFiles(LONG filePrompt, LONG showErrors, LONG* result) override;

 private:
  // The unknown that counts the references and owns the object; the outer object holds it
  // when there is one.
  class Inner : public IUnknown {
   public:
    explicit Inner(Quelto& o) : owner(o) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

   private:
    Quelto& owner;
  };

  explicit Quelto(IUnknown* outer);
  ~Quelto();
  Quelto(const Quelto&) = delete;
  Quelto& operator=(const Quelto&) = delete;

  // Loads the interface's description from the module's type library; false when it is not there.
  bool LoadTypeInfo();

  Inner inner;
  IUnknown* controlling;  // the outer object, or inner
  LONG references = 1;
  ITypeInfo* typeInfo = nullptr;
  std::string moduleDirectory;  // ends with its backslash, or empty
  PropertyRules rules;
};
