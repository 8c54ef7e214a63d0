// SPDX-License-Identifier: MIT
#include "polling/open_failure_text.h"

std::string OpenFailureText(const OpenFailure& failure) {
    switch (failure.kind) {
        case OpenFailure::Kind::kNone:
            return {};
        case OpenFailure::Kind::kNoSuchPort:
            return "Такого порта нет в системе";
        case OpenFailure::Kind::kBusy:
            return "Порт занят другой программой";
        case OpenFailure::Kind::kNoPermission:
            if (failure.group.empty() || failure.user.empty()) {
                return "Нет прав на порт";
            }
            return "Нет прав на порт. Исправить: sudo usermod -aG " + failure.group + " " +
                   failure.user + " (и войти в систему заново)";
        case OpenFailure::Kind::kOther:
            return failure.detail;
    }
    return {};
}
