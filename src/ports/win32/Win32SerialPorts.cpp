// Windows: the serial ports from the SERIALCOMM device map (every port a driver has
// announced, including virtual ones without a Plug and Play device), described by SetupAPI's
// present devices of the Ports class and of the COM-port interface.
#include <windows.h>
// after windows.h, which they build on
#include <cfgmgr32.h>
#include <initguid.h>
#include <setupapi.h>

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "ports/SerialPorts.h"
#include "ports/WindowsDevices.h"

namespace kvports {

namespace {

// GUID_DEVINTERFACE_COMPORT and GUID_DEVCLASS_PORTS, defined here: <ntddser.h> does not build
// in user mode with mingw-w64.
DEFINE_GUID(kComPortInterface, 0x86E0D1E0L, 0x8089, 0x11D0, 0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30,
            0x1F, 0x73);
DEFINE_GUID(kPortsClass, 0x4D36E978L, 0xE325, 0x11CE, 0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03,
            0x18);

std::string utf8(const wchar_t* text, int length = -1) {
    if (text == nullptr) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
    if (length < 0 && !out.empty()) out.pop_back();  // the terminating NUL
    return out;
}

struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
using Key = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

struct DeviceSetCloser {
    void operator()(HDEVINFO set) const { SetupDiDestroyDeviceInfoList(set); }
};
using DeviceSet = std::unique_ptr<void, DeviceSetCloser>;

// A REG_SZ value of `key`, or empty.
std::string stringValue(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || bytes == 0)
        return {};
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &bytes) != ERROR_SUCCESS)
        return {};
    buffer.back() = L'\0';
    return utf8(buffer.data());
}

// The port names under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM.
std::vector<std::string> deviceMapNames() {
    std::vector<std::string> names;
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE,
                      &raw) != ERROR_SUCCESS)
        return names;
    const Key key(raw);
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[256];
        DWORD nameLength = 256;
        wchar_t data[256];
        DWORD dataBytes = sizeof(data) - sizeof(wchar_t);
        DWORD type = 0;
        const LONG result = RegEnumValueW(key.get(), index, valueName, &nameLength, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &dataBytes);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;
        data[dataBytes / sizeof(wchar_t)] = L'\0';
        names.push_back(utf8(data));
    }
    return names;
}

std::string property(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD which) {
    DWORD type = 0;
    DWORD bytes = 0;
    SetupDiGetDeviceRegistryPropertyW(set, &device, which, &type, nullptr, 0, &bytes);
    if (bytes == 0 || (type != REG_SZ && type != REG_MULTI_SZ)) return {};
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, which, &type,
                                           reinterpret_cast<BYTE*>(buffer.data()), bytes, nullptr))
        return {};
    buffer.back() = L'\0';
    return utf8(buffer.data());  // a multi-string's first entry
}

std::string instanceId(DEVINST instance) {
    wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
    if (CM_Get_Device_IDW(instance, id, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) return {};
    return utf8(id);
}

void addDevices(const GUID& guid, DWORD flags, std::vector<WindowsPortDevice>& devices) {
    HDEVINFO raw = SetupDiGetClassDevsW(&guid, nullptr, nullptr, flags | DIGCF_PRESENT);
    if (raw == INVALID_HANDLE_VALUE) return;
    const DeviceSet set(raw);
    for (DWORD index = 0;; ++index) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof(device);
        if (!SetupDiEnumDeviceInfo(raw, index, &device)) break;
        WindowsPortDevice port;
        HKEY rawKey = SetupDiOpenDevRegKey(raw, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (rawKey != INVALID_HANDLE_VALUE) {
            const Key key(rawKey);
            port.portName = stringValue(key.get(), L"PortName");
        }
        // The Ports class also holds printer ports ("LPT1").
        if (port.portName.size() < 4 ||
            CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, port.portName.c_str(), 3, "COM", 3) !=
                CSTR_EQUAL)
            continue;
        port.description = property(raw, device, SPDRP_DEVICEDESC);
        port.friendlyName = property(raw, device, SPDRP_FRIENDLYNAME);
        port.manufacturer = property(raw, device, SPDRP_MFG);
        port.instanceId = instanceId(device.DevInst);
        DEVINST parent = 0;
        if (CM_Get_Parent(&parent, device.DevInst, 0) == CR_SUCCESS)
            port.parentInstanceId = instanceId(parent);
        devices.push_back(std::move(port));
    }
}

}  // namespace

PortListing listSerialPorts(const SysfsLayout&) {
    std::vector<WindowsPortDevice> devices;
    addDevices(kComPortInterface, DIGCF_DEVICEINTERFACE, devices);
    addDevices(kPortsClass, 0, devices);
    PortListing listing;
    listing.ports = mergeWindowsPorts(deviceMapNames(), devices);
    return listing;
}

}  // namespace kvports
