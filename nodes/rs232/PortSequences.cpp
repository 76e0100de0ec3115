#include "PortSequences.h"

HRESULT ResetLine(SerialPort& port) {
  if (HRESULT hr = port.SetBreakState(false); FAILED(hr)) return hr;
  std::int32_t handle = -1;
  if (HRESULT hr = port.GetPortHandle(&handle); FAILED(hr)) return hr;
  SetCommMask(handle, 0);
  return S_OK;
}

HRESULT ConfigurePort(SerialPort& port, const PortConfiguration& configuration) {
  HRESULT hr = port.SetReadLength(0);
  if (SUCCEEDED(hr)) hr = port.SetFlowControl(0);
  if (SUCCEEDED(hr)) hr = port.SetReceivedCount(0);
  if (SUCCEEDED(hr)) hr = port.SetWaitingToSendCount(0);
  if (SUCCEEDED(hr)) hr = port.SetInputMode(1);
  if (SUCCEEDED(hr)) hr = port.SetSettingsText(configuration.settings);
  if (SUCCEEDED(hr)) hr = port.SetPortNumber(configuration.portNumber);
  return hr;
}

HRESULT OpenPort(SerialPort& port) {
  HRESULT hr = ResetLine(port);
  if (SUCCEEDED(hr)) hr = port.SetOpenState(true);
  if (SUCCEEDED(hr)) hr = ResetLine(port);
  return hr;
}
