// SPDX-License-Identifier: MIT
#pragma once

#include <clocale>
#include <initializer_list>
#include <string>

// Puts the C library under a Russian locale, whose decimal separator is a comma, for as long as
// it lives, and restores the locale before. The names differ: glibc knows "ru_RU.UTF-8" (once
// generated), the Windows C runtime "ru-RU" or "Russian_Russia.1251". active() is false when the
// system has none of them.
class RussianLocale {
  public:
    RussianLocale() {
        const char* current = std::setlocale(LC_ALL, nullptr);
        saved_ = current != nullptr ? current : "C";
        for (const char* name : {"ru_RU.UTF-8", "ru-RU", "Russian_Russia.1251"}) {
            if (std::setlocale(LC_ALL, name) != nullptr) {
                active_ = true;
                return;
            }
        }
    }
    ~RussianLocale() { std::setlocale(LC_ALL, saved_.c_str()); }
    RussianLocale(const RussianLocale&) = delete;
    RussianLocale& operator=(const RussianLocale&) = delete;

    bool active() const { return active_; }

  private:
    std::string saved_;
    bool active_ = false;
};
