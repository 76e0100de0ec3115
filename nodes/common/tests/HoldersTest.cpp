// The owners of interface references and variants, and the runtime's own
// counting (error objects, conversions): every reference taken is given back
// exactly once.
#include <gtest/gtest.h>

#include <thread>
#include <utility>

#include "ComHolders.h"
#include "CountedObjects.h"
#include "ErrorInfo.h"

namespace {

// What a callee does with an out-parameter: stores a reference it counted.
void GiveOut(CountedListener* object, IDispatch** out) {
  object->AddRef();
  *out = object;
}

// A variant holding a counted reference to `object`, as an automation value would.
VARIANT UnknownVariant(CountedListener* object) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_UNKNOWN;
  v.punkVal = object;
  object->AddRef();
  return v;
}

}  // namespace

TEST(InterfaceHolder, CopiesCountMovesHandOverAndEachHolderGivesBackOnce) {
  CountedListener object;
  {
    auto first = ComPtr<IDispatch>::Share(&object);
    EXPECT_EQ(object.refs(), 2);
    ComPtr<IDispatch> copy = first;
    EXPECT_EQ(object.refs(), 3);
    ComPtr<IDispatch> moved = std::move(copy);
    EXPECT_EQ(object.refs(), 3);
    EXPECT_FALSE(copy);
    first = moved;  // both already hold it: one reference each still
    EXPECT_EQ(object.refs(), 3);
    ComPtr<IDispatch>& same = first;  // assigning a holder to itself keeps its reference
    first = same;
    first = std::move(same);
    EXPECT_EQ(object.refs(), 3);
    moved.Reset();
    moved.Reset();
    EXPECT_EQ(object.refs(), 2);
  }
  EXPECT_EQ(object.refs(), 1);
}

TEST(InterfaceHolder, TakesOverCountedReferencesAndHandsThemOutUncounted) {
  CountedListener a, b;
  {
    // An out-parameter's reference becomes the holder's; refilling it gives back the earlier one first.
    ComPtr<IDispatch> held;
    GiveOut(&a, held.AddressOf());
    EXPECT_EQ(a.refs(), 2);
    GiveOut(&b, held.AddressOf());
    EXPECT_EQ(a.refs(), 1);
    EXPECT_EQ(b.refs(), 2);
    EXPECT_EQ(held.Get(), &b);

    a.AddRef();  // as a creation would count it for us
    held.Attach(&a);
    EXPECT_EQ(a.refs(), 2);
    EXPECT_EQ(b.refs(), 1);

    IDispatch* out = held.Detach();  // the caller's now, still counted
    EXPECT_FALSE(held);
    EXPECT_EQ(a.refs(), 2);
    auto adopted = ComPtr<IDispatch>::Adopt(out);
    EXPECT_EQ(a.refs(), 2);

    // QueryInterface through the untyped address counts once, like any out-parameter.
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(adopted->QueryInterface(IID_IUnknown, unknown.VoidAddressOf()), S_OK);
    EXPECT_EQ(a.refs(), 3);
  }
  EXPECT_EQ(a.refs(), 1);
  EXPECT_EQ(b.refs(), 1);
}

TEST(VariantHolder, ClearsWhatItHoldsOnceWhereverItEnds) {
  CountedListener a, b;
  {
    auto held = VariantHolder::Adopt(UnknownVariant(&a));
    EXPECT_EQ(a.refs(), 2);
    VariantHolder moved = std::move(held);
    EXPECT_EQ(held->vt, VT_EMPTY);
    EXPECT_EQ(a.refs(), 2);

    VariantHolder other = VariantHolder::Adopt(UnknownVariant(&b));
    other = std::move(moved);  // b's reference goes, a's moves in
    EXPECT_EQ(b.refs(), 1);
    EXPECT_EQ(a.refs(), 2);

    other.Attach(UnknownVariant(&b));
    EXPECT_EQ(a.refs(), 1);
    EXPECT_EQ(b.refs(), 2);

    // An out-parameter is cleared before the callee fills it.
    ASSERT_EQ(VariantCopy(other.AddressOf(), held.Get()), S_OK);
    EXPECT_EQ(b.refs(), 1);

    other.Attach(UnknownVariant(&a));
    VARIANT out = other.Detach();  // the caller's to clear
    EXPECT_EQ(other->vt, VT_EMPTY);
    EXPECT_EQ(a.refs(), 2);
    VariantClear(&out);
    EXPECT_EQ(a.refs(), 1);
    held.Attach(UnknownVariant(&b));  // given back when the holder goes
  }
  EXPECT_EQ(a.refs(), 1);
  EXPECT_EQ(b.refs(), 1);
}

TEST(ReferenceCounts, ConversionsGiveBackTheReferencesTheyCopied) {
  CountedListener object;
  VariantHolder unknown = VariantHolder::Adopt(UnknownVariant(&object));
  VariantHolder reference;
  reference->vt = VT_VARIANT | VT_BYREF;
  reference->pvarVal = unknown.Get();

  VariantHolder out;
  for (const VARIANT* source : {unknown.Get(), reference.Get()}) {
    for (VARTYPE target : {VT_I4, VT_I2, VT_UI1, VT_BSTR, VT_UNKNOWN}) {
      EXPECT_EQ(VariantChangeType(out.Get(), source, 0, target), DISP_E_TYPEMISMATCH) << target;
      EXPECT_EQ(object.refs(), 2) << target;
    }
  }
  // A copy counts one reference; following a reference copies what it points at.
  ASSERT_EQ(VariantCopyInd(out.Get(), reference.Get()), S_OK);
  EXPECT_EQ(out->vt, VT_UNKNOWN);
  EXPECT_EQ(object.refs(), 3);
  ASSERT_EQ(VariantCopy(out.Get(), unknown.Get()), S_OK);  // replaces the earlier copy
  EXPECT_EQ(object.refs(), 3);
  out.Reset();
  unknown.Reset();
  EXPECT_EQ(object.refs(), 1);
}

TEST(ReferenceCounts, TheThreadsErrorObjectHoldsOneReferenceUntilTakenOrReplaced) {
  CountedErrorInfo first, second;
  SetErrorInfo(0, &first);
  EXPECT_EQ(first.refs(), 2);
  SetErrorInfo(0, &first);  // the same object again: still one reference
  EXPECT_EQ(first.refs(), 2);
  SetErrorInfo(0, &second);
  EXPECT_EQ(first.refs(), 1);
  EXPECT_EQ(second.refs(), 2);

  // Taking it hands the thread's reference over without counting another.
  IErrorInfo* taken = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &taken), S_OK);
  EXPECT_EQ(taken, &second);
  EXPECT_EQ(second.refs(), 2);
  taken->Release();

  SetErrorInfo(0, &first);
  SetErrorInfo(0, nullptr);
  EXPECT_EQ(first.refs(), 1);
  SetErrorInfo(0, &first);
  RecordErrorInfo("Test.Source.1", "replaces it");
  EXPECT_EQ(first.refs(), 1);
  // A recorded object carries exactly one reference, the thread's.
  ASSERT_EQ(GetErrorInfo(0, &taken), S_OK);
  EXPECT_EQ(taken->Release(), 0u);

  // A thread's object is given back when the thread ends.
  std::thread([&] { SetErrorInfo(0, &second); }).join();
  EXPECT_EQ(second.refs(), 1);
}
