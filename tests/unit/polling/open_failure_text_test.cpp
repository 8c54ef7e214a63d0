// SPDX-License-Identifier: MIT
#include "polling/open_failure_text.h"

#include <gtest/gtest.h>

namespace {

TEST(OpenFailureText, EachReasonHasItsLine) {
    using Kind = OpenFailure::Kind;
    struct Case {
        OpenFailure failure;
        std::string text;
    };
    const Case cases[] = {
        {{Kind::kNone, "", "", ""}, ""},
        {{Kind::kNoSuchPort, "", "", ""}, "Такого порта нет в системе"},
        {{Kind::kBusy, "", "", ""}, "Порт занят другой программой"},
        {{Kind::kNoPermission, "", "dialout", "alice"},
         "Нет прав на порт. Исправить: sudo usermod -aG dialout alice (и войти в систему "
         "заново)"},
        // Without the group (or the user) there is no command to give.
        {{Kind::kNoPermission, "", "", "alice"}, "Нет прав на порт"},
        {{Kind::kNoPermission, "", "uucp", ""}, "Нет прав на порт"},
        {{Kind::kOther, "Input/output error", "", ""}, "Input/output error"},
        {{Kind::kOther, "", "", ""}, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OpenFailureText(c.failure), c.text) << static_cast<int>(c.failure.kind);
    }
}

}  // namespace
