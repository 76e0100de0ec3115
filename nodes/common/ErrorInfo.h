// The per-thread rich error object: a failing operation records one for the
// calling thread, and the caller reads it right after the call.
#pragma once

#include "Interfaces.h"

// A new, empty error object to fill and hand to SetErrorInfo.
COMRT_API HRESULT CreateErrorInfo(ICreateErrorInfo** out);
// Makes `info` (may be null) the calling thread's error object, replacing any earlier one.
COMRT_API HRESULT SetErrorInfo(std::uint32_t reserved, IErrorInfo* info);
// Takes the calling thread's error object and clears it; S_FALSE and null when there is none.
COMRT_API HRESULT GetErrorInfo(std::uint32_t reserved, IErrorInfo** info);

// One call for the common case: records an error object with these fields.
COMRT_API HRESULT RecordErrorInfo(std::string_view source, std::string_view description, const GUID& iid = GUID_NULL,
                                  std::string_view helpFile = {}, std::uint32_t helpContext = 0);

// The fields of an error object, read into plain values.
struct ErrorFields {
  GUID iid = GUID_NULL;
  std::string source;
  std::string description;
  std::string helpFile;
  std::uint32_t helpContext = 0;
};
COMRT_API ErrorFields ReadErrorFields(IErrorInfo* info);
