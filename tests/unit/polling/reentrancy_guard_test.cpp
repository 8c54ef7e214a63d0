// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>

#include "polling/reentrancy_guard.h"

using Activity = ReentrancyGuard::Activity;

TEST(ReentrancyGuard, AStopEndsTheRunningActivityOnly) {
    ReentrancyGuard guard;
    guard.NoteStop();  // idle: nothing to end
    EXPECT_FALSE(guard.Stopped());
    {
        ReentrancyGuard::Scope start(guard, Activity::kStart);
        EXPECT_TRUE(guard.Starting());
        EXPECT_FALSE(guard.Stopped());
        {
            // A Start run by a command inside it (the restart after the clock is set) that a
            // Stop ends ends the outer one too.
            ReentrancyGuard::Scope inner(guard, Activity::kStart);
            guard.NoteStop();
            EXPECT_TRUE(guard.Stopped());
        }
        EXPECT_TRUE(guard.Starting());
        EXPECT_TRUE(guard.Stopped());
    }
    EXPECT_FALSE(guard.Starting());
    ReentrancyGuard::Scope tick(guard, Activity::kTick);
    EXPECT_TRUE(guard.InTick());
    EXPECT_FALSE(guard.Stopped());  // a new activity starts unstopped
}

TEST(ReentrancyGuard, CommandsOfATickRunAfterItInTheirOrder) {
    ReentrancyGuard guard;
    std::string ran;
    EXPECT_FALSE(guard.DeferDuringTick([&] { ran += 'x'; }));  // no tick: the caller runs it
    {
        ReentrancyGuard::Scope tick(guard, Activity::kTick);
        EXPECT_TRUE(guard.DeferDuringTick([&] { ran += 'a'; }));
        EXPECT_TRUE(guard.DeferDuringTick([&] { ran += 'b'; }));
        guard.RunDeferred();  // not inside the tick
        EXPECT_EQ(ran, "");
    }
    guard.RunDeferred();
    EXPECT_EQ(ran, "ab");
    guard.RunDeferred();
    EXPECT_EQ(ran, "ab");
}
