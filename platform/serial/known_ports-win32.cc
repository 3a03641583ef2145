#include "platform/serial/known_ports-win32.h"

// windows.h first, through windows-win32.h, then the setup API.
#include <setupapi.h>

#include "base/dos_path.h"

namespace zindo {
namespace {

// Device Manager's class of COM and LPT ports.
constexpr GUID kPortsClass = {0x4D36E978,
                              0xE325,
                              0x11CE,
                              {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// A string value of `key`, or "" when it has none.
std::wstring StringValue(HKEY key, const wchar_t* name) {
  wchar_t value[256] = {};
  DWORD type = 0;
  DWORD size = sizeof value - sizeof(wchar_t);
  if (::RegQueryValueExW(key, name, nullptr, &type,
                         reinterpret_cast<BYTE*>(value),
                         &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return L"";
  }
  return value;
}

// The port's number from its device key's PortName: LPT ports share the
// class, and have none that names a COM port.
int PortNumberOf(HDEVINFO devices, SP_DEVINFO_DATA& device) {
  HKEY key = ::SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0,
                                    DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return 0;
  const std::wstring name = StringValue(key, L"PortName");
  ::RegCloseKey(key);
  return ComPortNumber(ToUtf8(name));
}

std::vector<KnownPort> PortsOfDeviceManager() {
  std::vector<KnownPort> ports;
  HDEVINFO devices =
      ::SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
  if (devices == INVALID_HANDLE_VALUE) return ports;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD index = 0; ::SetupDiEnumDeviceInfo(devices, index, &device);
       ++index) {
    const int number = PortNumberOf(devices, device);
    if (number == 0) continue;
    wchar_t friendly[256] = {};
    DWORD type = 0;
    const bool named = ::SetupDiGetDeviceRegistryPropertyW(
                           devices, &device, SPDRP_FRIENDLYNAME, &type,
                           reinterpret_cast<BYTE*>(friendly),
                           sizeof friendly - sizeof(wchar_t), nullptr) &&
                       type == REG_SZ && friendly[0] != L'\0';
    ports.push_back(
        {number, named ? ToUtf8(friendly) : "COM" + std::to_string(number)});
  }
  ::SetupDiDestroyDeviceInfoList(devices);
  return ports;
}

std::vector<KnownPort> PortsOfSerialComm() {
  std::vector<KnownPort> ports;
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return ports;
  }
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD name_length = 256;
    wchar_t data[64] = {};
    DWORD data_size = sizeof data - sizeof(wchar_t);
    DWORD type = 0;
    const LSTATUS status =
        ::RegEnumValueW(key, index, name, &name_length, nullptr, &type,
                        reinterpret_cast<BYTE*>(data), &data_size);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS || type != REG_SZ) continue;
    if (const int number = ComPortNumber(ToUtf8(data))) {
      ports.push_back({number, "COM" + std::to_string(number)});
    }
  }
  ::RegCloseKey(key);
  return ports;
}

}  // namespace

std::vector<KnownPort> ComPortsOfThisPc() {
  return JoinPortLists(PortsOfDeviceManager(), PortsOfSerialComm());
}

Error ComPortOpenError(const std::string& what, DWORD code,
                       const std::vector<KnownPort>& known) {
  switch (code) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return Error(what + ": " + kPortInUse, ErrorKind::kBusy);
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return Error(what + ": " + NoSuchPortText(known), ErrorKind::kNotFound);
    default:
      return Win32Error(what, code);
  }
}

}  // namespace zindo
