// SPDX-License-Identifier: MIT
#include "platform/win32/comm_port.h"

#include <algorithm>

#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"

namespace {

// A typical driver transmit buffer, for the write timeout.
constexpr uint64_t kDriverBufferBytes = 4096;
// The longest write timeout, whatever the rate.
constexpr uint64_t kMaxWriteTimeoutMs = 60'000;

HANDLE HandleOf(CommHandle port) {
    return static_cast<HANDLE>(port);
}

// Reads return at once with what has arrived (interval MAXDWORD, no total). A write may take
// twice its bytes' time on the line (11 bits a character), plus a full driver buffer ahead of
// it and a second, before it gives up on a line that does not move (flow control held off).
COMMTIMEOUTS TimeoutsFor(uint32_t baudRate) {
    const uint64_t rate = std::max<uint32_t>(baudRate, 1);
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier =
        static_cast<DWORD>(std::min<uint64_t>((2 * 11 * 1000 + rate - 1) / rate, 1000));
    timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(
        std::min<uint64_t>(1000 + kDriverBufferBytes * 11 * 1000 / rate, kMaxWriteTimeoutMs));
    return timeouts;
}

}  // namespace

std::optional<std::wstring> CommDevicePath(const std::string& portName) {
    std::optional<std::wstring> name = WideFromUtf8(portName);
    if (!name) {
        return std::nullopt;
    }
    if (name->rfind(L"\\\\", 0) == 0) {
        return name;
    }
    return L"\\\\.\\" + *name;
}

CommHandle OpenCommPort(const std::string& portName, unsigned long& error) {
    const std::optional<std::wstring> path = CommDevicePath(portName);
    if (portName.empty() || !path) {
        error = ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    HANDLE handle = CreateFileW(path->c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return nullptr;
    }
    DCB line{};
    line.DCBlength = sizeof line;
    COMMTIMEOUTS timeouts = TimeoutsFor(GetCommState(handle, &line) ? line.BaudRate : 9600);
    if (!SetCommTimeouts(handle, &timeouts)) {
        error = GetLastError();
        CloseHandle(handle);
        return nullptr;
    }
    // A port starts with an empty receive queue, whatever reached it while nobody had it open.
    PurgeComm(handle, PURGE_RXABORT | PURGE_RXCLEAR);
    error = ERROR_SUCCESS;
    return handle;
}

void CloseCommPort(CommHandle port) {
    if (port != nullptr) {
        CloseHandle(HandleOf(port));
    }
}

bool ReadCommLine(CommHandle port, LineSettings& settings) {
    DCB line{};
    line.DCBlength = sizeof line;
    if (port == nullptr || !GetCommState(HandleOf(port), &line)) {
        return false;
    }
    settings.baudRate = line.BaudRate;
    settings.dataBits = line.ByteSize;
    settings.parity = line.Parity;
    settings.stopBits = line.StopBits;
    settings.dtrOn = line.fDtrControl != DTR_CONTROL_DISABLE;
    settings.rtsOn = line.fRtsControl != RTS_CONTROL_DISABLE;
    return true;
}

bool WriteCommLine(CommHandle port, const LineSettings& settings) {
    if (port == nullptr || !HasValidCodes(settings)) {
        return false;
    }
    DCB line{};
    line.DCBlength = sizeof line;
    if (!GetCommState(HandleOf(port), &line)) {
        return false;
    }
    line.BaudRate = settings.baudRate;
    line.ByteSize = settings.dataBits;
    line.Parity = settings.parity;
    line.StopBits = settings.stopBits;
    if (settings.dtrOn) {
        line.fDtrControl = DTR_CONTROL_ENABLE;
    } else {
        line.fDtrControl = DTR_CONTROL_DISABLE;
    }
    if (settings.rtsOn) {
        line.fRtsControl = RTS_CONTROL_ENABLE;
    } else {
        line.fRtsControl = RTS_CONTROL_DISABLE;
    }
    if (!SetCommState(HandleOf(port), &line)) {
        return false;
    }
    COMMTIMEOUTS timeouts = TimeoutsFor(settings.baudRate);
    SetCommTimeouts(HandleOf(port), &timeouts);
    return true;
}

bool CommQueues(CommHandle port, size_t& received, size_t& unsent) {
    DWORD errors = 0;
    COMSTAT status{};
    if (port == nullptr || !ClearCommError(HandleOf(port), &errors, &status)) {
        return false;
    }
    received = status.cbInQue;
    unsent = status.cbOutQue;
    return true;
}

size_t ReadCommBytes(CommHandle port, uint8_t* buffer, size_t maxCount, bool& failed) {
    failed = false;
    if (port == nullptr || buffer == nullptr || maxCount == 0) {
        return 0;
    }
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(maxCount, MAXDWORD));
    if (!ReadFile(HandleOf(port), buffer, want, &got, nullptr)) {
        failed = true;
        return 0;
    }
    return got;
}

bool WriteCommBytes(CommHandle port, const uint8_t* data, size_t count) {
    if (port == nullptr) {
        return false;
    }
    size_t done = 0;
    while (done < count) {
        DWORD written = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(count - done, MAXDWORD));
        if (!WriteFile(HandleOf(port), data + done, want, &written, nullptr) || written == 0) {
            return false;  // failed, or timed out without taking a byte
        }
        done += written;
    }
    return true;
}

bool WaitCommTransmitEmpty(CommHandle port, uint32_t timeoutMs) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        size_t received = 0;
        size_t unsent = 0;
        if (!CommQueues(port, received, unsent)) {
            return false;
        }
        if (unsent == 0) {
            return true;
        }
        if (GetTickCount64() - start >= timeoutMs) {
            return false;
        }
        Sleep(1);
    }
}
