// SPDX-License-Identifier: MIT
#include "polling/reentrancy_guard.h"

ReentrancyGuard::Scope::Scope(ReentrancyGuard& guard, Activity activity)
    : guard_(guard), previous_(guard.activity_), previousStop_(guard.stopped_) {
    guard_.activity_ = activity;
    guard_.stopped_ = false;
}

ReentrancyGuard::Scope::~Scope() {
    guard_.activity_ = previous_;
    guard_.stopped_ = previousStop_ || guard_.stopped_;
}

bool ReentrancyGuard::DeferDuringTick(std::function<void()> command) {
    if (!InTick()) {
        return false;
    }
    deferred_.push_back(std::move(command));
    return true;
}

void ReentrancyGuard::RunDeferred() {
    while (!deferred_.empty() && !InTick()) {
        std::function<void()> command = std::move(deferred_.front());
        deferred_.erase(deferred_.begin());
        command();
    }
}
