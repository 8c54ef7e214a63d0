// SPDX-License-Identifier: MIT
#pragma once

// What a tick asks an IEC-101 station for, chosen at Start with the window's poll-kind buttons
// (the metrology tool, without them, always interrogates the whole station).
enum class PollKind {
    kInterrogation = 0,  // "Опрос группы": an interrogation, then class 2 requests
    kReadCommand = 1,    // "Чтение (102)": the read command for one chosen parameter
    kLinkLevelRead = 2,  // "Чтение на канальном уровне": class 2 requests only
};

// The kind of the button with this index (0 to 2); none chosen reads as an interrogation.
constexpr PollKind PollKindOfButton(int index) {
    return index == 1   ? PollKind::kReadCommand
           : index == 2 ? PollKind::kLinkLevelRead
                        : PollKind::kInterrogation;
}
