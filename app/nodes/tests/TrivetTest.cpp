// The wrappers: error conversion, the listener's dispatch, stacking.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "ByteBuffer.h"
#include "ComHolders.h"
#include "LinkFixture.h"
#include "Registry.h"
#include "ScopedEnv.h"
#include "rs232.h"
#include "tavarnel.h"

TEST(NodeErrorMessage, TrimsTrailingDotsBlanksAndControlsAndFallsBack) {
  EXPECT_EQ(NodeErrorMessage(0x80040204, "Not allowed when comm port is closed."),
            "Not allowed when comm port is closed");
  EXPECT_EQ(NodeErrorMessage(0x80040203, "Time out...  \r\n"), "Time out");
  EXPECT_EQ(NodeErrorMessage(REGDB_E_CLASSNOTREG, ""), "Class not registered");
  EXPECT_EQ(NodeErrorMessage(static_cast<HRESULT>(0x80041234u), ""), "OLE error 80041234");
}

TEST(SerialWrapper, TransmitOnAClosedNodeRaisesTheNodesMessageAndCode) {
  TRS232Object serial;
  EXPECT_TRUE(serial.listening());
  const std::uint8_t bytes[] = {1};
  VARIANT buffer = MakeByteBuffer(bytes);
  try {
    serial.Transmit(0, serial.Kind(), buffer);
    ADD_FAILURE() << "no error";
  } catch (const ENodeError& e) {
    EXPECT_STREQ(e.what(), "Not allowed when comm port is closed");
    EXPECT_EQ(static_cast<std::uint32_t>(e.code()), 0x80040204u);
    EXPECT_EQ(e.source(), "RS232.Node.1");
  }
  VariantClear(&buffer);
  // Properties go through; a wrong name carries the node's formatted message.
  serial.SetProperty("commport", "2");
  EXPECT_EQ(serial.GetProperty("CommPort"), "2");
  EXPECT_THROW(serial.SetProperty("Speed", "1"), ENodeError);
}

TEST(SerialWrapper, CreationFailuresSayWhyInTheConstructor) {
  {
    const ScopedEnv nowhere("VORELAN_COMPONENT_REGISTRY", "/nonexistent/components.reg");
    try {
      TRS232Object serial;
      ADD_FAILURE() << "created without a registration";
    } catch (const ENodeError& e) {
      EXPECT_STREQ(e.what(), "Class not registered");
    }
  }
  // A registration whose library is gone: the loader's own message.
  const std::string registry = ::testing::TempDir() + "/vorelan-missing-lib.reg";
  const ScopedEnv useRegistry("VORELAN_COMPONENT_REGISTRY", registry);
  std::string error;
  ASSERT_TRUE(ComponentRegistry::Edit(
      [](ComponentRegistry& reg) {
        reg.Set("CLSID\\" + GuidToString(CLSID_RS232Node) + "\\InprocServer32", "", "/nonexistent/librs232.so");
      },
      &error));
  try {
    TRS232Object serial;
    ADD_FAILURE() << "created without its library";
  } catch (const ENodeError& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/librs232.so"), std::string::npos) << e.what();
  }
}

TEST(EventSink, DispatchesByDispIdAndConvertsArguments) {
  TNodeEventSink sink(nullptr, nullptr);  // unconnected: driven by hand here
  EXPECT_EQ(sink.cookie(), 0u);
  std::int32_t channel = -1, code = -1;
  std::string comment = "unset";
  std::vector<std::uint8_t> bytes;
  sink.OnReception = [&](TNode*, std::int32_t ch, const VARIANT& b) { channel = ch, bytes = BytesOf(b); };
  sink.OnAsynchError = [&](TNode*, std::int32_t c, const std::string& text) { code = c, comment = text; };

  const std::uint8_t data[] = {9, 8};
  VARIANT buffer = MakeByteBuffer(data);
  VARIANT args[2];
  VariantInit(&args[0]);
  VariantInit(&args[1]);
  args[0].vt = VT_VARIANT | VT_BYREF;  // last argument first: the buffer by reference
  args[0].pvarVal = &buffer;
  args[1].vt = VT_I2;  // a 16-bit channel reaches the handler as the same value
  args[1].iVal = -3;
  DISPPARAMS params{args, nullptr, 2, 0};
  EXPECT_EQ(sink.Invoke(1, GUID_NULL, 0x400, 1, &params, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(channel, -3);
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{9, 8}));

  // Unknown DISPIDs, empty slots and short argument lists are ignored.
  channel = 0;
  EXPECT_EQ(sink.Invoke(4, GUID_NULL, 0x400, 1, &params, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(sink.Invoke(2, GUID_NULL, 0x400, 1, &params, nullptr, nullptr, nullptr), S_OK);
  DISPPARAMS one{args, nullptr, 1, 0};
  EXPECT_EQ(sink.Invoke(1, GUID_NULL, 0x400, 1, &one, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(channel, 0);

  // A null comment arrives as empty text; a throwing handler does not escape.
  args[0].vt = VT_NULL;
  args[1].vt = VT_I4;
  args[1].lVal = 515;
  EXPECT_EQ(sink.Invoke(3, GUID_NULL, 0x400, 1, &params, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(code, 515);
  EXPECT_EQ(comment, "");
  sink.OnAsynchError = [](TNode*, std::int32_t, const std::string&) { throw EAppError("handler failed"); };
  EXPECT_EQ(sink.Invoke(3, GUID_NULL, 0x400, 1, &params, nullptr, nullptr, nullptr), S_OK);
  VariantClear(&buffer);
}

TEST(SerialWrapper, ReceivedBytesReachTheUpperNodeAndAnEmptySlotIsIgnored) {
  TRS232Object serial;
  // No handler set: the event is ignored.
  const std::uint8_t bytes[] = {0x06, 1, 2};
  VARIANT buffer = MakeByteBuffer(bytes);
  serial.Receive(5, buffer);

  std::vector<std::uint8_t> seen;
  std::int32_t channel = -1;
  serial.SetOnReception([&](TNode* sender, std::int32_t ch, const VARIANT& b) {
    EXPECT_EQ(sender, &serial);
    channel = ch;
    seen = BytesOf(b);
  });
  serial.Receive(5, buffer);
  VariantClear(&buffer);
  EXPECT_EQ(channel, 0);  // the serial node always raises on channel 0
  EXPECT_EQ(seen, (std::vector<std::uint8_t>{0x06, 1, 2}));
}

namespace {
using CanUnloadNowFn = HRESULT (*)();

// DllCanUnloadNow of the library registered for `clsid`, which must be loaded by now.
CanUnloadNowFn CanUnloadNowOf(const CLSID& clsid) {
  const auto path = ComponentRegistry::Load().Get("CLSID\\" + GuidToString(clsid) + "\\InprocServer32");
  void* library = path ? dlopen(path->c_str(), RTLD_NOW | RTLD_NOLOAD) : nullptr;
  return library ? reinterpret_cast<CanUnloadNowFn>(dlsym(library, "DllCanUnloadNow")) : nullptr;
}

std::uint32_t CountOf(IUnknown* object) {
  object->AddRef();
  return object->Release();
}
}  // namespace

TEST(Wrappers, GiveBackEveryReferenceTheyTookSoTheNodeLibrariesMayUnload) {
  CanUnloadNowFn serialIdle = nullptr, protocolIdle = nullptr;
  {
    TTavarnelObject protocol;
    TRS232Object serial;  // declared last: the lower node goes first
    protocol.SetLowerNode(&serial);
    serialIdle = CanUnloadNowOf(CLSID_RS232Node);
    protocolIdle = CanUnloadNowOf(CLSID_TavarnelNode);
    ASSERT_NE(serialIdle, nullptr);
    ASSERT_NE(protocolIdle, nullptr);
    // The wrapper's reference and its listener's, nothing left from the creation.
    EXPECT_EQ(CountOf(serial.node()), 2u);
    EXPECT_EQ(CountOf(protocol.node()), 2u);
    // A refused call asks the node whether it has error objects; that is given back too.
    const std::uint8_t bytes[] = {1};
    const VariantHolder buffer = VariantHolder::Adopt(MakeByteBuffer(bytes));
    EXPECT_THROW(serial.Transmit(0, serial.Kind(), *buffer), ENodeError);
    EXPECT_THROW(protocol.WriteMemory(0x5A, bytes, 1), EAppError);
    EXPECT_EQ(CountOf(serial.node()), 2u);
    EXPECT_EQ(CountOf(protocol.node()), 2u);
    EXPECT_EQ(serialIdle(), S_FALSE);
    EXPECT_EQ(protocolIdle(), S_FALSE);
  }
  EXPECT_EQ(serialIdle(), S_OK);
  EXPECT_EQ(protocolIdle(), S_OK);
}
