#pragma once
// The delivery half of the signal handler registry (TLCrashSignalHandler.h): the walk of the
// callback chain, the pass-through entry and the lookup of the actions replaced by ours. The
// lists themselves are owned by the registration half, which allocates their nodes; delivery
// reads them through the pointers published here before the first handler is installed.
#include <csignal>
#include <ucontext.h>

#include "crashreporter/capture/TLCrashSignalHandler.h"
#include "crashreporter/image/AsyncList.h"

namespace ml::crash {

using tlcrash_signal_callback_list = async_list<tlcrash_signal_user_callback>;
using tlcrash_signal_action_list = async_list<tlcrash_signal_handler_action>;

// Makes the registration's lists the ones delivery walks. Normal context; called before any
// handler of ours is installed, and with the same lists every time.
void tlcrash_nasync_signal_lists_publish(tlcrash_signal_callback_list* callbacks,
                                         tlcrash_signal_action_list* previous_actions);

// The action in place before ours for `signo`; false when none was recorded. Crash time.
bool tlcrash_async_signal_previous_action(int signo, struct sigaction* action);

// The chain's last entry: runs the action that was in place before ours (its handler: handled;
// SIG_IGN: handled; SIG_DFL or none: not handled). Crash time.
bool tlcrash_async_signal_pass_through(int signo, siginfo_t* info, ucontext_t* uap, void* context,
                                       TLCrashSignalHandlerCallback* next);

}  // namespace ml::crash
