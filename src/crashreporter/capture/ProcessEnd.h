#pragma once
// Ending the process with the signal of its crash, at once, from the thread that wrote the report.
//
// Raising the signal again and returning from the handler leaves a gap: the signal is blocked
// while its handler runs and is only delivered once the handler returns, and any thread that runs
// meanwhile can end the process its own way first (a main thread returning from main ends it with
// status 0, and a supervisor sees success). Here the signal's default action is put back, the
// signal is unblocked for the calling thread and sent to it: the kernel delivers it on the way out
// of that call, while the threads the capture stopped are still stopped.
//
// Crash time: async-signal-safe (sigaction, pthread_sigmask, tgkill).
namespace ml::crash {

// Ends the process with `signo` under its default action. Returns only when the signal did not
// end it (a tracer held it back); the calling thread's signal mask is then as it was.
void tlcrash_async_end_process_with_signal(int signo);

}  // namespace ml::crash
