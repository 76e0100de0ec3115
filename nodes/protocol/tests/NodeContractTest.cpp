// The protocol node as a component: registration, creation by class
// identity, its property, and the statuses and error objects of every
// refused request, on an open node and a closed one.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "Registry.h"
#include "TestMonitor.h"

namespace {

class Contract : public ConnectedNode {
 protected:
  // Every refusal below must leave the node silent: nothing sent, nothing raised.
  void ExpectNothingRaised() {
    EXPECT_TRUE(monitor->Requests().empty());
    EXPECT_TRUE(log.Of(DISPID_OnTransmission).empty());
    EXPECT_TRUE(log.Of(DISPID_OnReception).empty());
  }
};

}  // namespace

TEST(Registration, WritesTheIdentitiesAndUnregistrationRemovesThem) {
  const auto path = std::filesystem::temp_directory_path() / ("tavarnel-" + std::to_string(getpid()) + ".reg");
  setenv("VORELAN_COMPONENT_REGISTRY", path.c_str(), 1);
  std::string message;
  ASSERT_EQ(RegisterServerLibrary(TAVARNEL_LIBRARY, false, &message), S_OK) << message;
  const ComponentRegistry reg = ComponentRegistry::Load();
  const std::string clsid = "CLSID\\" + GuidToString(CLSID_TavarnelNode);
  const std::string lib = "TypeLib\\" + GuidToString(LIBID_TavarnelLib) + "\\1.0";
  EXPECT_EQ(reg.Get(clsid), "Tavarnel Class");
  EXPECT_EQ(reg.Get(clsid, "AppID"), GuidToString(APPID_Tavarnel));
  EXPECT_EQ(reg.Get(clsid + "\\ProgID"), "Tavarnel.Node.1");
  EXPECT_EQ(reg.Get(clsid + "\\InprocServer32", "ThreadingModel"), "Both");
  EXPECT_EQ(reg.Get("Tavarnel.Node.1"), "TavarnelNode Class");
  EXPECT_EQ(reg.Get("Tavarnel.Node\\CurVer"), "Tavarnel.Node.1");
  EXPECT_EQ(reg.Get("AppID\\" + GuidToString(APPID_Tavarnel)), "Tavarnel");
  EXPECT_EQ(reg.Get("AppID\\Tavarnel.EXE", "AppID"), GuidToString(APPID_Tavarnel));
  EXPECT_EQ(reg.Get(lib), "Trivet : Qm MicroControlers to PC General Protocol 1.0");
  EXPECT_EQ(reg.Get(lib, "Name"), "TavarnelLib");
  EXPECT_TRUE(reg.Get(lib + "\\409\\linux").has_value());

  ASSERT_EQ(RegisterServerLibrary(TAVARNEL_LIBRARY, true, &message), S_OK) << message;
  EXPECT_FALSE(ComponentRegistry::Load().Get(clsid).has_value());
  INode* node = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_TavarnelNode, nullptr, CLSCTX_SERVER, IID_INode, reinterpret_cast<void**>(&node)),
            REGDB_E_CLASSNOTREG);
  std::filesystem::remove(path);
}

TEST(Creation, TheBuildTreeRegistryKnowsTheNodeByNameAndClass) {
  CLSID byName{}, byVersion{};
  ASSERT_EQ(CLSIDFromProgID("Tavarnel.Node", &byName), S_OK);
  ASSERT_EQ(CLSIDFromProgID("Tavarnel.Node.1", &byVersion), S_OK);
  EXPECT_TRUE(byName == CLSID_TavarnelNode && byVersion == CLSID_TavarnelNode);
  INode* node = nullptr;
  ASSERT_EQ(CoCreateInstance(byName, nullptr, CLSCTX_SERVER, IID_INode, reinterpret_cast<void**>(&node)), S_OK);
  node->Release();
}

TEST_F(Contract, TheOnePropertyIsWalkedReadAndWrittenAsDecimalText) {
  Open();
  std::int32_t index = 9;
  BSTR name = nullptr;
  ASSERT_EQ(node->GetFirstProperty(&index), S_OK);
  ASSERT_EQ(node->GetNextProperty(&index, &name), S_OK);
  EXPECT_EQ(Utf8FromBstr(name), "TimeOut");
  EXPECT_EQ(index, 0);
  SysFreeString(name);
  index = 1;
  EXPECT_EQ(node->GetNextProperty(&index, &name), DISP_E_EXCEPTION);
  EXPECT_EQ(TakeError().description, "Bad index value: 1");

  // Refused while connected; the value stays and can still be read.
  EXPECT_EQ(node->SetProperty(Text("TimeOut").b, Text("250").b), MessageStatus(513));
  EXPECT_EQ(TakeError().description, "Not allowed when comm port is open.");
  BSTR value = nullptr;
  ASSERT_EQ(node->GetProperty(Text("TIMEOUT").b, &value), S_OK);
  EXPECT_EQ(Utf8FromBstr(value), "3000");
  SysFreeString(value);

  ASSERT_EQ(node->Close(Var().v), S_OK);
  for (auto [text, read] :
       {std::pair{"250", "250"}, {"abc", "0"}, {" \t-42ms", "-42"}, {"+7", "7"}, {"99999999999", "2147483647"}}) {
    ASSERT_EQ(node->SetProperty(Text("timeout").b, Text(text).b), S_OK);
    ASSERT_EQ(node->GetProperty(Text("TimeOut").b, &value), S_OK);
    EXPECT_EQ(Utf8FromBstr(value), read) << text;
    SysFreeString(value);
  }
  EXPECT_EQ(node->SetProperty(Text("Time Out").b, Text("1").b), DISP_E_EXCEPTION);
  const ErrorFields fields = TakeError();
  EXPECT_EQ(fields.description, "Bad property name: Time Out");
  EXPECT_EQ(fields.source, "Tavarnel.Node.1");
  EXPECT_EQ(node->GetProperty(Text("Settings").b, &value), DISP_E_EXCEPTION);
  EXPECT_EQ(value, nullptr);
}

TEST_F(Contract, BadFramesAndKindsAreRefusedBeforeAnythingIsSent) {
  Open();
  Var frame(Bytes{0x13, 0x00, 0x5A, 0x01});
  std::vector<Var> badBuffers;
  badBuffers.emplace_back(Bytes(17, 0x0F));
  badBuffers.emplace_back(Bytes{});
  badBuffers.emplace_back(Bytes{0x13, 0x00, 0x5A});
  badBuffers.push_back(Var::I4(0x13));
  badBuffers.push_back(Var::Text("13 00 5A 01"));
  badBuffers.emplace_back().v.vt = VT_VARIANT | VT_BYREF;  // a reference is not a byte array
  badBuffers.back().v.pvarVal = &frame.v;
  badBuffers.emplace_back().v.vt = VT_ARRAY | VT_UI1;  // nor is one whose lower bound is not 0
  badBuffers.back().v.parray = SafeArrayCreateVector(VT_UI1, 1, 1);
  for (const Var& buffer : badBuffers) {
    EXPECT_EQ(node->DoTransmit(0, Var::I4(AnswerExpected).v, buffer.v), MessageStatus(516));
    EXPECT_EQ(TakeError().description, "At least one parameter is badly formatted.");
    Var out;
    EXPECT_EQ(node->DoSynchRequest(0, Var::I2(NoAnswer).v, buffer.v, &out.v), MessageStatus(516));
    // Kind is looked at first for its type, last for its value.
    EXPECT_EQ(node->DoTransmit(0, Var::I4(2).v, buffer.v), MessageStatus(516));
    EXPECT_EQ(node->DoTransmit(0, Var::Text("0").v, buffer.v), E_NOTIMPL);
  }
  std::vector<Var> badKinds;
  badKinds.push_back(Var::Text("0"));
  badKinds.push_back(Var::I4(2));
  badKinds.push_back(Var::I2(-1));
  badKinds.emplace_back();
  for (const Var& kind : badKinds) {
    RecordErrorInfo("stale", "stale");
    EXPECT_EQ(node->DoTransmit(0, kind.v, frame.v), E_NOTIMPL);
    EXPECT_EQ(TakeError().description, "<none>");  // without an error object
    Var out;
    EXPECT_EQ(node->DoSynchRequest(0, kind.v, frame.v, &out.v), E_NOTIMPL);
  }
  ExpectNothingRaised();
}

TEST_F(Contract, ChannelsAndAClosedNodeRefuseCleanly) {
  Open();
  std::int32_t channel = -1;
  EXPECT_EQ(node->AllocChannel(&channel), MessageStatus(519));
  EXPECT_EQ(TakeError().description, "No free channel.");
  for (std::int32_t wrong : {1, -1}) {
    EXPECT_EQ(node->DoTransmit(wrong, Var::I4(AnswerExpected).v, Var(Bytes{0x10}).v), DISP_E_EXCEPTION);
    EXPECT_EQ(TakeError().description, "Channel " + std::to_string(wrong) + " is not allocated.");
    EXPECT_EQ(node->DoReceive(wrong, Var(Bytes{0x00}).v), S_OK);  // dropped
    EXPECT_EQ(node->ReleaseChannel(wrong), S_OK);
  }
  EXPECT_EQ(node->DoReceive(0, Var::I4(0).v), MessageStatus(516));
  EXPECT_EQ(node->DoReceive(0, Var(Bytes{0x00}).v), S_OK);  // no answer awaited: dropped
  ASSERT_EQ(node->ReleaseChannel(0), S_OK);
  EXPECT_EQ(Send({0x10}), DISP_E_EXCEPTION);
  EXPECT_EQ(Send({0x10}, NoAnswer), DISP_E_EXCEPTION);
  ExpectNothingRaised();

  EXPECT_EQ(node->Connect(Var().v), S_OK);  // already connected: nothing changes
  ASSERT_EQ(node->Close(Var().v), S_OK);
  ASSERT_EQ(node->Close(Var().v), S_OK);
  EXPECT_EQ(Send({0x10}), MessageStatus(517));
  EXPECT_EQ(TakeError().description, "Not allowed when the node is closed.");
  Var out;
  EXPECT_EQ(node->DoSynchRequest(0, Var::I4(AnswerExpected).v, Var(Bytes{0x10}).v, &out.v), MessageStatus(517));
  EXPECT_EQ(node->AllocChannel(&channel), MessageStatus(517));
  EXPECT_EQ(node->DoReceive(0, Var(Bytes{0x00}).v), S_OK);
  EXPECT_EQ(node->ReleaseChannel(0), S_OK);
  ExpectNothingRaised();
}
