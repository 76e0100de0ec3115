// Automation values: identities, counted text, arrays, variants, the string
// table and the property text rules.
#include <gtest/gtest.h>

#include <thread>

#include "ByteBuffer.h"
#include "ComTypes.h"
#include "ErrorInfo.h"
#include "Identities.h"
#include "PropertyText.h"
#include "StringTable.h"

TEST(Guid, RoundTripsThroughTextAndRejectsMalformedText) {
  const std::string text = GuidToString(IID_INode);
  EXPECT_EQ(text.size(), 38u);
  GUID parsed{};
  ASSERT_TRUE(GuidFromString(text, &parsed));
  EXPECT_TRUE(parsed == IID_INode);
  ASSERT_TRUE(GuidFromString("00020400-0000-0000-c000-000000000046", &parsed));
  EXPECT_TRUE(parsed == IID_IDispatch);
  for (const char* bad : {"", "{}", "{00020400-0000-0000-C000-00000000004}", "{00020400-0000-0000-C000-00000000004G}",
                          "{00020400+0000-0000-C000-000000000046}"})
    EXPECT_FALSE(GuidFromString(bad, &parsed)) << bad;
  // Every node-side identity is distinct, but INode is shared by both libraries.
  EXPECT_FALSE(CLSID_TavarnelNode == CLSID_RS232Node);
  EXPECT_FALSE(LIBID_TavarnelLib == LIBID_RS232Lib);
  EXPECT_FALSE(APPID_Tavarnel == LIBID_TavarnelLib);
  EXPECT_TRUE(APPID_RS232 == LIBID_RS232Lib);
}

TEST(CountedText, KeepsLengthEmbeddedZerosAndNonAsciiText) {
  BSTR text = BstrFromUtf8("Grüße \xF0\x9F\x98\x80");
  EXPECT_EQ(SysStringLen(text), 8u);  // "Grüße " is 6 units, the emoji takes two
  EXPECT_EQ(Utf8FromBstr(text), "Grüße \xF0\x9F\x98\x80");
  SysFreeString(text);

  const char16_t withZero[] = {u'a', 0, u'b'};
  BSTR counted = SysAllocStringLen(withZero, 3);
  EXPECT_EQ(SysStringLen(counted), 3u);
  EXPECT_EQ(Utf8FromBstr(counted), std::string("a\0b", 3));
  SysFreeString(counted);

  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(Utf8FromBstr(nullptr), "");
  // Broken UTF-8 becomes replacement characters, never a crash or a lost tail.
  EXPECT_EQ(Utf8FromUtf16(Utf16FromUtf8("a\xC3")), "a\xEF\xBF\xBD");
  EXPECT_EQ(Utf8FromUtf16(Utf16FromUtf8("\xFF"
                                        "b")),
            "\xEF\xBF\xBD"
            "b");
}

TEST(ByteBuffers, CopyDeeplyAndKeepLowerBoundZero) {
  const std::uint8_t bytes[] = {0x13, 0x00, 0x5A, 0x06};
  VARIANT original = MakeByteBuffer(bytes);
  ASSERT_TRUE(IsByteBuffer(original));
  std::int32_t lower = -1, upper = -1;
  SafeArrayGetLBound(original.parray, 1, &lower);
  SafeArrayGetUBound(original.parray, 1, &upper);
  EXPECT_EQ(lower, 0);
  EXPECT_EQ(upper, 3);

  VARIANT copy;
  VariantInit(&copy);
  ASSERT_EQ(VariantCopy(&copy, &original), S_OK);
  VariantClear(&original);  // the copy must not share the array
  EXPECT_EQ(BytesOf(copy), std::vector<std::uint8_t>(std::begin(bytes), std::end(bytes)));

  // A reference to a variant is followed by BytesOf and VariantCopyInd, but is
  // not itself a byte buffer.
  VARIANT reference;
  VariantInit(&reference);
  reference.vt = VT_VARIANT | VT_BYREF;
  reference.pvarVal = &copy;
  EXPECT_FALSE(IsByteBuffer(reference));
  EXPECT_EQ(BytesOf(reference).size(), 4u);
  VARIANT direct;
  VariantInit(&direct);
  ASSERT_EQ(VariantCopyInd(&direct, &reference), S_OK);
  EXPECT_TRUE(IsByteBuffer(direct));
  VariantClear(&direct);
  VariantClear(&copy);

  VARIANT empty = MakeByteBuffer({});
  EXPECT_TRUE(IsByteBuffer(empty));
  EXPECT_TRUE(BytesOf(empty).empty());
  VariantClear(&empty);
}

TEST(Variants, ConvertBetweenIntegersAndText) {
  VARIANT in, out;
  VariantInit(&in);
  VariantInit(&out);
  in.vt = VT_I2;
  in.iVal = -5;
  ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_I4), S_OK);
  EXPECT_EQ(out.vt, VT_I4);
  EXPECT_EQ(out.lVal, -5);
  ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_BSTR), S_OK);
  EXPECT_EQ(Utf8FromBstr(out.bstrVal), "-5");
  VariantClear(&out);

  in.vt = VT_BSTR;
  in.bstrVal = BstrFromUtf8(" 42 ");
  ASSERT_EQ(VariantChangeType(&out, &in, 0, VT_I4), S_OK);
  EXPECT_EQ(out.lVal, 42);
  VariantClear(&in);
  in.vt = VT_BSTR;
  in.bstrVal = BstrFromUtf8("4x");
  EXPECT_EQ(VariantChangeType(&out, &in, 0, VT_I4), DISP_E_TYPEMISMATCH);
  VariantClear(&in);
  in.vt = VT_I4;
  in.lVal = 70000;
  EXPECT_TRUE(FAILED(VariantChangeType(&out, &in, 0, VT_I2)));
}

TEST(StringTable, FormatsTextAndIntegerPlaceholders) {
  const StringTable table{{512, "Bad property name: %s"}, {514, "Bad index value: %i"}};
  EXPECT_EQ(table.Format(512, {std::string_view("time Out")}), "Bad property name: time Out");
  EXPECT_EQ(table.Format(514, {std::int32_t{-7}}), "Bad index value: -7");
  EXPECT_EQ(table.Load(999), "");
  // A placeholder without an argument stays; "%%" is one percent sign; text
  // arguments are never themselves read as patterns.
  EXPECT_EQ(StringTable::FormatText("%s and %i", {std::string_view("%i")}), "%i and %i");
  EXPECT_EQ(StringTable::FormatText("100%% %", {}), "100% %");
}

TEST(PropertyText, ParsesDecimalLikeTheNodesDo) {
  EXPECT_EQ(ParseDecimal("250"), 250);
  EXPECT_EQ(ParseDecimal(" -3abc"), -3);
  EXPECT_EQ(ParseDecimal("\t+7"), 7);
  EXPECT_EQ(ParseDecimal("abc"), 0);
  EXPECT_EQ(ParseDecimal(""), 0);
  EXPECT_EQ(ParseDecimal("-"), 0);
  EXPECT_EQ(ParseDecimal("99999999999999999999"), INT32_MAX);
  EXPECT_EQ(ParseDecimal("-2147483648"), INT32_MIN);
  EXPECT_EQ(ParseDecimal("-99999999999"), INT32_MIN);

  const char* const names[] = {"Settings", "CommPort"};
  EXPECT_EQ(FindPropertyName(names, "commport"), 1);
  EXPECT_EQ(FindPropertyName(names, "SETTINGS"), 0);
  EXPECT_EQ(FindPropertyName(names, "Setting"), -1);
  EXPECT_EQ(FindPropertyName(names, std::string_view("Settings\0x", 10)), -1);
}

TEST(ErrorObjects, BelongToTheThreadThatRecordedThem) {
  RecordErrorInfo("Test.Source.1", "first failure");
  bool otherThreadSawOne = true;
  std::thread([&] {
    IErrorInfo* info = nullptr;
    otherThreadSawOne = GetErrorInfo(0, &info) == S_OK;
    if (info) info->Release();
  }).join();
  EXPECT_FALSE(otherThreadSawOne);

  IErrorInfo* info = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
  const ErrorFields fields = ReadErrorFields(info);
  info->Release();
  EXPECT_EQ(fields.source, "Test.Source.1");
  EXPECT_EQ(fields.description, "first failure");
  EXPECT_TRUE(fields.iid == GUID_NULL);
  // Reading takes the object away.
  EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
  EXPECT_EQ(info, nullptr);
}
