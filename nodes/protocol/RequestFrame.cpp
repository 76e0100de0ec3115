#include "RequestFrame.h"

#include "ByteBuffer.h"
#include "INode.h"

CheckedRequest CheckRequest(const VARIANT& kind, const VARIANT& buffer) {
  CheckedRequest result;
  if (kind.vt != VT_I2 && kind.vt != VT_I4) {
    result.verdict = FrameVerdict::KindNotSupported;
    return result;
  }
  if (!IsByteBuffer(buffer) || buffer.parray->rgsabound[0].lLbound != 0) return result;
  const std::uint32_t size = buffer.parray->rgsabound[0].cElements;
  if (size == 0 || size > kMaxFrameSize) return result;
  const auto* data = static_cast<const std::uint8_t*>(buffer.parray->pvData);
  if (FrameLength(data[0]) != size) return result;

  const std::int32_t value = kind.vt == VT_I2 ? static_cast<std::int32_t>(kind.iVal) : kind.lVal;
  if (value != AnswerExpected && value != NoAnswer) {
    result.verdict = FrameVerdict::KindNotSupported;
    return result;
  }
  result.verdict = FrameVerdict::Accepted;
  result.kind = value;
  result.bytes.assign(data, data + size);
  return result;
}
