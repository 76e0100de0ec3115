// The serial node's operations that need no serial line: identity,
// properties, the property walk, channels, DoReceive, DoSynchRequest, and
// the statuses of DoTransmit on a closed node.
#include "RS232TestSupport.h"
#include "testing/NodeTestSupport.h"

namespace {

class SerialNodeContract : public ::testing::Test {
 protected:
  void SetUp() override {
    node_ = CreateNode(CLSID_RS232Node);
    ASSERT_NE(node_, nullptr);
    log_.ListenTo(node_);
  }
  void TearDown() override {
    if (node_) node_->Release();
  }
  INode* node_ = nullptr;
  EventLog log_;
};

}  // namespace

TEST_F(SerialNodeContract, IsFoundByItsProgrammaticIdentifiers) {
  CLSID byName{};
  ASSERT_EQ(CLSIDFromProgID("RS232.Node", &byName), S_OK);
  EXPECT_TRUE(byName == CLSID_RS232Node);
  ASSERT_EQ(CLSIDFromProgID("RS232.Node.1", &byName), S_OK);
  EXPECT_TRUE(byName == CLSID_RS232Node);
}

TEST_F(SerialNodeContract, PropertyNamesIgnoreCaseAndCommPortIsReadAsDecimal) {
  EXPECT_EQ(SetProp(node_, "commport", "2"), S_OK);
  EXPECT_EQ(GetProp(node_, "CommPort"), "2");
  EXPECT_EQ(GetProp(node_, "COMMPORT"), "2");
  const struct {
    const char* value;
    const char* stored;
  } values[] = {{"x", "0"},    {"", "0"},         {" -3abc", "-3"},
                {"+17", "17"}, {"\t 0042", "42"}, {"99999999999", "2147483647"}};
  for (const auto& v : values) {
    EXPECT_EQ(SetProp(node_, "CommPort", v.value), S_OK);
    EXPECT_EQ(GetProp(node_, "commPort"), v.stored) << '"' << v.value << '"';
  }
  EXPECT_EQ(SetProp(node_, "SETTINGS", "9600,n,8,1"), S_OK);
  EXPECT_EQ(GetProp(node_, "settings"), "9600,n,8,1");
}

TEST_F(SerialNodeContract, SettingsAreKeptExactlyAndHandedOutAsCopies) {
  EXPECT_EQ(GetProp(node_, "Settings"), "");
  // Stored without any check, every code unit as given.
  const char16_t odd[] = {u'9', u'6', 0xD800, u',', 0, u'x'};
  Text value(odd, 6), name("Settings");
  ASSERT_EQ(node_->SetProperty(name.b, value.b), S_OK);
  BSTR first = nullptr;
  ASSERT_EQ(node_->GetProperty(name.b, &first), S_OK);
  ASSERT_EQ(SysStringLen(first), 6u);
  EXPECT_TRUE(std::equal(first, first + 6, odd));
  first[0] = u'1';  // the caller's copy
  BSTR second = nullptr;
  ASSERT_EQ(node_->GetProperty(name.b, &second), S_OK);
  EXPECT_EQ(second[0], u'9');
  SysFreeString(first);
  SysFreeString(second);
  EXPECT_EQ(node_->SetProperty(name.b, nullptr), S_OK);
  EXPECT_EQ(GetProp(node_, "Settings"), "");
}

TEST_F(SerialNodeContract, UnknownNamesAreRefusedWithTheWholeName) {
  EXPECT_EQ(SetProp(node_, "Settings2", "x"), DISP_E_EXCEPTION);
  ErrorFields error = TakeError();
  EXPECT_EQ(error.description, "Bad property name: Settings2");
  EXPECT_EQ(error.source, "RS232.Node.1");
  Text name("Baud rate");
  BSTR value = reinterpret_cast<BSTR>(1);
  EXPECT_EQ(node_->GetProperty(name.b, &value), DISP_E_EXCEPTION);
  EXPECT_EQ(value, nullptr);
  EXPECT_EQ(TakeError().description, "Bad property name: Baud rate");
}

TEST_F(SerialNodeContract, ThePropertyWalkGivesSettingsThenCommPort) {
  EXPECT_EQ(PropertyWalk(node_), (std::vector<std::string>{"Settings", "CommPort"}));
  for (std::int32_t bad : {2, -1})
    EXPECT_EQ(NextPropertyRefusal(node_, bad), "Bad index value: " + std::to_string(bad));
}

TEST_F(SerialNodeContract, OneChannelAlwaysZeroAndNothingToApply) {
  std::int32_t channel = 9;
  EXPECT_EQ(node_->AllocChannel(&channel), S_OK);
  EXPECT_EQ(channel, 0);
  channel = 9;
  EXPECT_EQ(node_->AllocChannel(&channel), S_OK);
  EXPECT_EQ(channel, 0);
  EXPECT_EQ(node_->ReleaseChannel(7), S_OK);
  EXPECT_EQ(node_->ApplyProperties(), S_OK);
}

TEST_F(SerialNodeContract, DoReceiveRaisesOnReceptionOnChannelZeroBeforeReturning) {
  Var buffer(Bytes{0x06, 1, 2, 3});
  EXPECT_EQ(node_->DoReceive(5, buffer.v), S_OK);
  const auto events = log_.Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].member, DISPID_OnReception);
  EXPECT_EQ(events[0].channelOrCode, 0);
  EXPECT_EQ(events[0].bytes, (Bytes{0x06, 1, 2, 3}));
  EXPECT_EQ(events[0].thread, std::this_thread::get_id());
  // The buffer is not examined.
  Var text = Var::Text("not bytes");
  EXPECT_EQ(node_->DoReceive(0, text.v), S_OK);
  EXPECT_EQ(log_.Events().size(), 2u);
}

TEST_F(SerialNodeContract, DoSynchRequestFailsWithoutAnErrorObject) {
  RecordErrorInfo("stale", "left over");
  Var kind, in(Bytes{0x13, 0, 0x5A, 6}), out;
  EXPECT_EQ(node_->DoSynchRequest(0, kind.v, in.v, &out.v), E_FAIL);
  EXPECT_EQ(out.v.vt, VT_EMPTY);
  EXPECT_EQ(TakeError().source, "<none>");
}

TEST_F(SerialNodeContract, DoTransmitOnAClosedNode) {
  Var kind;
  Var text = Var::Text("13005A06");
  EXPECT_EQ(node_->DoTransmit(0, kind.v, text.v), MessageStatus(515));
  EXPECT_EQ(TakeError().description, "Parameter is not correct.");
  // A reference to a byte buffer is not a byte buffer.
  Var bytes(Bytes{1, 2});
  VARIANT reference;
  VariantInit(&reference);
  reference.vt = VT_VARIANT | VT_BYREF;
  reference.pvarVal = &bytes.v;
  EXPECT_EQ(node_->DoTransmit(0, kind.v, reference), MessageStatus(515));
  EXPECT_EQ(TakeError().description, "Parameter is not correct.");

  EXPECT_EQ(Transmit(node_, Bytes{1, 2}), MessageStatus(516));
  ErrorFields error = TakeError();
  EXPECT_EQ(error.description, "Not allowed when comm port is closed.");
  EXPECT_EQ(error.source, "RS232.Node.1");
}

TEST_F(SerialNodeContract, CloseOfANodeNeverConnectedDoesNothing) {
  const int threads = ThreadCount();
  EXPECT_EQ(CloseNode(node_), S_OK);
  EXPECT_EQ(CloseNode(node_), S_OK);
  EXPECT_EQ(ThreadCount(), threads);
  EXPECT_TRUE(log_.Events().empty());
}
