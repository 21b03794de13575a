// The class factory of one class of the module: made on first request, kept in the class table
// until the module is unloaded. References beyond the table's own, and LockServer, hold the
// module, so it is not unloaded while a host keeps the factory.
#pragma once
#include <windows.h>
#include <ole2.h>

class ClassFactory final : public IClassFactory {
 public:
  using Creator = HRESULT (*)(IUnknown* outer, REFIID iid, void** object);

  // Starts with the one reference that the class table holds.
  explicit ClassFactory(Creator create);

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  // Gives the creator's result: S_OK, CLASS_E_NOAGGREGATION, E_NOINTERFACE, E_OUTOFMEMORY...
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
  STDMETHODIMP LockServer(BOOL lock) override;

 private:
  ~ClassFactory() = default;
  Creator create;
  LONG references = 1;
};
