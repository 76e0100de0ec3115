// A node created by class identity through the registry, then driven through
// its own slots, late-bound dispatch, connection points and error objects.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <utility>
#include <vector>

#include "ByteBuffer.h"
#include "ComHolders.h"
#include "ComRuntime.h"
#include "CountedObjects.h"
#include "EchoNode.h"
#include "ErrorInfo.h"
#include "INode.h"
#include "Identities.h"
#include "Registry.h"
#include "testing/NodeTestSupport.h"

namespace {

// Records every Invoke it receives, as a client's event listener would.
class RecordingListener final : public IDispatch {
 public:
  struct Call {
    DISPID member;
    LCID lcid;
    std::uint16_t flags;
    std::uint32_t argCount;
    VARTYPE firstArgType;  // rgvarg[0]: the last argument
    std::int32_t channelOrCode;
    std::vector<std::uint8_t> bytes;
  };
  std::vector<Call> calls;
  bool answersEvents = true;

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch || (answersEvents && riid == DIID__INodeEvents)) {
      *object = static_cast<IDispatch*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  std::uint32_t AddRef() override { return 2; }
  std::uint32_t Release() override { return 1; }
  HRESULT GetTypeInfoCount(std::uint32_t* n) override { return *n = 0, S_OK; }
  HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, OLECHAR**, std::uint32_t, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID member, REFIID, LCID lcid, std::uint16_t flags, DISPPARAMS* p, VARIANT*, EXCEPINFO*,
                 std::uint32_t*) override {
    calls.push_back({member, lcid, flags, p->cArgs, p->rgvarg[0].vt, p->rgvarg[1].lVal, BytesOf(p->rgvarg[0])});
    return S_OK;
  }
};

class CreatedNode : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_ = std::filesystem::temp_directory_path() / ("vorelan-comp-" + std::to_string(getpid()) + ".reg");
    std::filesystem::remove(registry_);
    setenv("VORELAN_COMPONENT_REGISTRY", registry_.c_str(), 1);
    std::string message;
    ASSERT_EQ(RegisterServerLibrary(ECHO_NODE_LIBRARY, false, &message), S_OK) << message;
    ASSERT_EQ(CoCreateInstance(CLSID_EchoNode, nullptr, CLSCTX_SERVER, IID_INode, reinterpret_cast<void**>(&node_)),
              S_OK);
  }
  void TearDown() override {
    if (node_) node_->Release();
    std::filesystem::remove(registry_);
  }

  std::filesystem::path registry_;
  INode* node_ = nullptr;
};

}  // namespace

TEST_F(CreatedNode, RegistrationWritesTheIdentitiesAndUnregistrationRemovesThem) {
  const ComponentRegistry reg = ComponentRegistry::Load();
  const std::string key = "CLSID\\" + GuidToString(CLSID_EchoNode);
  EXPECT_EQ(reg.Get(key), "Echo Class");
  EXPECT_EQ(reg.Get(key + "\\InprocServer32", "ThreadingModel"), "Both");
  EXPECT_TRUE(reg.Get(key + "\\Programmable").has_value());
  EXPECT_EQ(reg.Get("Echo.Node\\CurVer"), "Echo.Node.1");
  EXPECT_EQ(reg.Get("Interface\\" + GuidToString(IID_INode)), "INode");
  CLSID byName{};
  ASSERT_EQ(CLSIDFromProgID("echo.node", &byName), S_OK);
  EXPECT_TRUE(byName == CLSID_EchoNode);

  std::string message;
  ASSERT_EQ(RegisterServerLibrary(ECHO_NODE_LIBRARY, true, &message), S_OK) << message;
  const ComponentRegistry after = ComponentRegistry::Load();
  EXPECT_FALSE(after.Get(key).has_value());
  EXPECT_FALSE(after.Get("Echo.Node.1\\CLSID").has_value());
  EXPECT_FALSE(after.Get("Interface\\" + GuidToString(IID_INode)).has_value());
  INode* gone = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_EchoNode, nullptr, CLSCTX_SERVER, IID_INode, reinterpret_cast<void**>(&gone)),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(SystemErrorText(REGDB_E_CLASSNOTREG), "Class not registered");
}

TEST_F(CreatedNode, CreationFailuresSayWhy) {
  INode* other = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_RS232Node, nullptr, CLSCTX_SERVER, IID_INode, reinterpret_cast<void**>(&other)),
            REGDB_E_CLASSNOTREG);
  // A registration whose library is gone: the loader's own message comes back.
  std::string error;
  ASSERT_TRUE(ComponentRegistry::Edit(
      [](ComponentRegistry& reg) {
        reg.Set("CLSID\\" + GuidToString(CLSID_EchoNode) + "\\InprocServer32", "", "/nonexistent/libecho.so");
      },
      &error));
  EXPECT_EQ(CoCreateInstance(CLSID_EchoNode, nullptr, CLSCTX_SERVER, IID_INode, reinterpret_cast<void**>(&other)),
            E_MOD_NOT_FOUND);
  EXPECT_NE(TakeError().description.find("/nonexistent/libecho.so"), std::string::npos);
  EXPECT_EQ(other, nullptr);
}

// A registration is followed only to a library nobody else could have put
// or changed there: a library planted in a shared or removed build tree would
// otherwise run as the user.
TEST_F(CreatedNode, LibrariesInPlacesOthersMayChangeAreRefused) {
  namespace fs = std::filesystem;
  const fs::path base = fs::path(::testing::TempDir()) / ("vorelan-trust-" + std::to_string(getpid()));
  const uid_t self = geteuid(), nobody = 65534;
  const struct {
    const char* name;
    mode_t folder, file;
    uid_t owner;  // of the file
    HRESULT expected;
    const char* reason;
  } rows[] = {
      {"safe", 0755, 0644, self, S_OK, ""},
      {"group-folder", 0775, 0644, self, E_ACCESSDENIED, "may be written by other users"},
      {"open-folder", 0757, 0644, self, E_ACCESSDENIED, "may be written by other users"},
      {"open-file", 0755, 0646, self, E_ACCESSDENIED, "may be written by other users"},
      {"foreign-file", 0755, 0644, nobody, E_ACCESSDENIED, "belongs to another user"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.owner != self && self != 0) continue;  // only root can give a file away
    const fs::path folder = base / row.name, library = folder / "libechonode.so";
    fs::create_directories(folder);
    fs::copy_file(ECHO_NODE_LIBRARY, library, fs::copy_options::overwrite_existing);
    ASSERT_EQ(chmod(base.c_str(), 0755) | chmod(folder.c_str(), row.folder) | chmod(library.c_str(), row.file) |
                  chown(library.c_str(), row.owner, static_cast<gid_t>(-1)),
              0);
    std::string error;
    ASSERT_TRUE(ComponentRegistry::Edit(
        [&](ComponentRegistry& reg) {
          reg.Set("CLSID\\" + GuidToString(CLSID_EchoNode) + "\\InprocServer32", "", library.string());
        },
        &error));
    INode* other = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_EchoNode, nullptr, CLSCTX_SERVER, IID_INode, reinterpret_cast<void**>(&other)),
              row.expected);
    if (other) other->Release();
    EXPECT_NE((row.expected == S_OK ? std::string() : TakeError().description).find(row.reason), std::string::npos);
  }
  // A relative path would depend on the folder the program starts in.
  std::string message;
  EXPECT_EQ(RegisterServerLibrary("libechonode.so", false, &message), E_ACCESSDENIED);
  EXPECT_NE(message.find("not absolute"), std::string::npos) << message;
  fs::remove_all(base);
}

TEST_F(CreatedNode, AnswersForItsCompanionInterfaces) {
  ISupportErrorInfo* support = nullptr;
  ASSERT_EQ(node_->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support)), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_INode), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
  support->Release();

  IProvideClassInfo2* classInfo = nullptr;
  ASSERT_EQ(node_->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&classInfo)), S_OK);
  GUID source{};
  ASSERT_EQ(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
  EXPECT_TRUE(source == DIID__INodeEvents);
  ITypeInfo* coclass = nullptr;
  ASSERT_EQ(classInfo->GetClassInfo(&coclass), S_OK);
  GUID clsid{};
  coclass->GetGuid(&clsid);
  EXPECT_TRUE(clsid == CLSID_EchoNode);
  std::uint32_t flags = 0;
  ITypeInfo* outgoing = nullptr;
  ASSERT_EQ(coclass->GetImplType(1, &flags, &outgoing), S_OK);
  EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE);
  BSTR doc = nullptr;
  outgoing->GetDocumentation(DISPID_OnAsynchError, nullptr, &doc, nullptr, nullptr);
  EXPECT_EQ(Utf8FromBstr(doc), "method OnAsynchError");
  SysFreeString(doc);
  outgoing->Release();
  coclass->Release();
  classInfo->Release();

  IUnknown* nothing = nullptr;
  EXPECT_EQ(node_->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&nothing)), E_NOINTERFACE);
}

TEST_F(CreatedNode, PropertyWalkAndLookupFollowTheNodeRules) {
  EXPECT_EQ(PropertyWalk(node_), (std::vector<std::string>{"Alpha", "Beta"}));
  for (std::int32_t bad : {2, -1})
    EXPECT_EQ(NextPropertyRefusal(node_, bad), "Bad index value: " + std::to_string(bad));

  BSTR key = BstrFromUtf8("bETA"), value = BstrFromUtf8("x"), wrong = BstrFromUtf8("Gamma ray");
  EXPECT_EQ(node_->SetProperty(key, value), S_OK);
  EXPECT_EQ(node_->SetProperty(wrong, value), DISP_E_EXCEPTION);
  const ErrorFields fields = TakeError();
  EXPECT_EQ(fields.description, "Bad property name: Gamma ray");
  EXPECT_EQ(fields.source, "Echo.Node.1");
  SysFreeString(key);
  SysFreeString(value);
  SysFreeString(wrong);
}

TEST_F(CreatedNode, LateBoundCallsReachTheSameOperations) {
  BSTR names[] = {BstrFromUtf8("setproperty")};
  DISPID id = 0;
  ASSERT_EQ(node_->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
  EXPECT_EQ(id, DISPID_SetProperty);
  SysFreeString(names[0]);

  VARIANT args[2];  // last-first: Value, then Name
  VariantInit(&args[0]);
  VariantInit(&args[1]);
  args[0].vt = VT_BSTR;
  args[0].bstrVal = BstrFromUtf8("hello");
  args[1].vt = VT_BSTR;
  args[1].bstrVal = BstrFromUtf8("Alpha");
  DISPPARAMS params{args, nullptr, 2, 0};
  ASSERT_EQ(node_->Invoke(DISPID_SetProperty, GUID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);

  DISPPARAMS one{&args[1], nullptr, 1, 0};
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(node_->Invoke(DISPID_GetProperty, GUID_NULL, 0, DISPATCH_METHOD, &one, &result, nullptr, nullptr), S_OK);
  EXPECT_EQ(result.vt, VT_BSTR);
  EXPECT_EQ(Utf8FromBstr(result.bstrVal), "hello");
  VariantClear(&result);

  // A failing operation comes back as an exception carrying its message.
  VariantClear(&args[1]);
  args[1].vt = VT_BSTR;
  args[1].bstrVal = BstrFromUtf8("Nope");
  EXCEPINFO excep{};
  EXPECT_EQ(node_->Invoke(DISPID_GetProperty, GUID_NULL, 0, DISPATCH_METHOD, &one, &result, &excep, nullptr),
            DISP_E_EXCEPTION);
  EXPECT_EQ(excep.scode, DISP_E_EXCEPTION);
  EXPECT_EQ(Utf8FromBstr(excep.bstrDescription), "Bad property name: Nope");
  EXPECT_EQ(Utf8FromBstr(excep.bstrSource), "Echo.Node.1");
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrHelpFile);

  // Wrong argument counts and unknown members are refused without calling anything.
  EXPECT_EQ(node_->Invoke(DISPID_SetProperty, GUID_NULL, 0, DISPATCH_METHOD, &one, nullptr, nullptr, nullptr),
            DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(node_->Invoke(77, GUID_NULL, 0, DISPATCH_METHOD, &one, nullptr, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
  VariantClear(&args[0]);
  VariantClear(&args[1]);
}

TEST_F(CreatedNode, EventsReachListenersInListOrderWithArgumentsLastFirst) {
  IConnectionPointContainer* container = nullptr;
  ASSERT_EQ(node_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)), S_OK);
  IConnectionPoint* point = nullptr;
  ASSERT_EQ(container->FindConnectionPoint(DIID__INodeEvents, &point), S_OK);
  IConnectionPoint* none = nullptr;
  EXPECT_EQ(container->FindConnectionPoint(IID_INode, &none), CONNECT_E_NOCONNECTION);

  RecordingListener a, b, c, deaf;
  deaf.answersEvents = false;
  std::uint32_t ca = 0, cb = 0, cc = 0, cd = 0;
  ASSERT_EQ(point->Advise(&a, &ca), S_OK);
  ASSERT_EQ(point->Advise(&b, &cb), S_OK);
  EXPECT_EQ(point->Advise(&deaf, &cd), CONNECT_E_CANNOTCONNECT);
  ASSERT_EQ(point->Unadvise(ca), S_OK);
  EXPECT_EQ(point->Unadvise(ca), CONNECT_E_NOCONNECTION);
  ASSERT_EQ(point->Advise(&c, &cc), S_OK);
  EXPECT_EQ(cc, ca);  // the first free place is taken again

  const std::uint8_t bytes[] = {1, 2, 3};
  VARIANT buffer = MakeByteBuffer(bytes);
  VARIANT kind;
  VariantInit(&kind);
  kind.vt = VT_I4;
  ASSERT_EQ(node_->DoTransmit(7, kind, buffer), S_OK);
  VariantClear(&buffer);

  ASSERT_EQ(c.calls.size(), 1u);
  ASSERT_EQ(b.calls.size(), 1u);
  EXPECT_TRUE(a.calls.empty());
  const auto& call = c.calls[0];
  EXPECT_EQ(call.member, DISPID_OnReception);
  EXPECT_EQ(call.lcid, 0x0400u);
  EXPECT_EQ(call.flags, DISPATCH_METHOD);
  EXPECT_EQ(call.argCount, 2u);
  EXPECT_EQ(call.firstArgType, VT_VARIANT | VT_BYREF);
  EXPECT_EQ(call.channelOrCode, 7);
  EXPECT_EQ(call.bytes, (std::vector<std::uint8_t>{1, 2, 3}));

  point->Unadvise(cb);
  point->Unadvise(cc);
  point->Release();
  container->Release();
}

TEST_F(CreatedNode, EveryReferenceTakenIsGivenBackSoTheLibraryMayUnload) {
  void* library = dlopen(ECHO_NODE_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(library, nullptr);
  const auto canUnloadNow = reinterpret_cast<HRESULT (*)()>(dlsym(library, "DllCanUnloadNow"));
  ASSERT_NE(canUnloadNow, nullptr);
  // Creation leaves the creator's reference only.
  EXPECT_EQ(CountOf(node_), 1u);
  CountedListener listener, other;
  std::uint32_t first = 0, second = 0, third = 0;
  {
    // The companion interfaces count on the node itself.
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(node_->QueryInterface(IID_IConnectionPointContainer, container.VoidAddressOf()), S_OK);
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(container->FindConnectionPoint(DIID__INodeEvents, point.AddressOf()), S_OK);
    ComPtr<IConnectionPointContainer> back;
    ASSERT_EQ(point->GetConnectionPointContainer(back.AddressOf()), S_OK);
    EXPECT_EQ(CountOf(node_), 4u);

    // Each connection holds one reference to its listener until it is undone.
    ASSERT_EQ(point->Advise(&listener, &first), S_OK);
    ASSERT_EQ(point->Advise(&listener, &second), S_OK);
    ASSERT_EQ(point->Advise(&other, &third), S_OK);
    EXPECT_EQ(listener.refs(), 3);
    EXPECT_EQ(other.refs(), 2);
    ASSERT_EQ(point->Unadvise(first), S_OK);
    EXPECT_EQ(point->Unadvise(first), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(listener.refs(), 2);
  }
  EXPECT_EQ(CountOf(node_), 1u);

  // Raising events, and arguments refused or passed through by late-bound
  // calls, leave every count as it was.
  const std::uint8_t bytes[] = {1, 2};
  const VariantHolder buffer = VariantHolder::Adopt(MakeByteBuffer(bytes));
  CountedListener argument;
  VariantHolder args[2];  // last-first: Value, then Name
  args[0]->vt = VT_UNKNOWN;
  args[0]->punkVal = &argument;
  argument.AddRef();
  args[1]->vt = VT_BSTR;
  args[1]->bstrVal = BstrFromUtf8("Alpha");
  VARIANT passed[2] = {*args[0], *args[1]};
  DISPPARAMS params{passed, nullptr, 2, 0};
  EXPECT_EQ(node_->Invoke(DISPID_SetProperty, GUID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
            DISP_E_TYPEMISMATCH);
  VARIANT transmit[3] = {*buffer, *args[0], VARIANT{}};  // Buffer, Kind (passed through), Channel (empty: 0)
  DISPPARAMS transmitParams{transmit, nullptr, 3, 0};
  EXPECT_EQ(node_->Invoke(DISPID_DoTransmit, GUID_NULL, 0, DISPATCH_METHOD, &transmitParams, nullptr, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(argument.refs(), 2);
  EXPECT_EQ(listener.events, 1);
  EXPECT_EQ(other.events, 1);
  EXPECT_EQ(listener.refs(), 2);
  EXPECT_EQ(other.refs(), 2);

  // The node's last Release gives back the listeners still connected, and
  // with the factory long gone the library has nothing alive.
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  EXPECT_EQ(std::exchange(node_, nullptr)->Release(), 0u);
  EXPECT_EQ(listener.refs(), 1);
  EXPECT_EQ(other.refs(), 1);
  EXPECT_EQ(canUnloadNow(), S_OK);

  // A class object asked for directly keeps the library busy until released.
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(CoGetClassObject(CLSID_EchoNode, CLSCTX_SERVER, nullptr, IID_IClassFactory, factory.VoidAddressOf()), S_OK);
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  ComPtr<INode> made;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_INode, made.VoidAddressOf()), S_OK);
  EXPECT_EQ(CountOf(made.Get()), 1u);
  made.Reset();
  factory.Reset();
  EXPECT_EQ(canUnloadNow(), S_OK);
  dlclose(library);
}
