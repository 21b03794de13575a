#include "server/ClassFactory.h"

#include "object/ModuleLock.h"

ClassFactory::ClassFactory(Creator creator) : create(creator) {}

HRESULT ClassFactory::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG ClassFactory::AddRef() {
  const LONG count = InterlockedIncrement(&references);
  if (count > 1) ModuleLock::Add();
  return static_cast<ULONG>(count);
}

ULONG ClassFactory::Release() {
  const LONG count = InterlockedDecrement(&references);
  if (count >= 1) ModuleLock::Release();
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
  return create(outer, iid, object);
}

HRESULT ClassFactory::LockServer(BOOL lock) {
  if (lock)
    ModuleLock::Add();
  else
    ModuleLock::Release();
  return S_OK;
}
