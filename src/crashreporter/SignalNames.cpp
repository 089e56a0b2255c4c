#include "crashreporter/SignalNames.h"

#include <csignal>

namespace ml::crash {
namespace {

struct SignalName {
  int signo;
  const char* name;
};

// Searched from the top; the first match wins (SIGABRT before its alias SIGIOT).
constexpr SignalName kSignalNames[] = {
    {SIGHUP, "SIGHUP"},       {SIGINT, "SIGINT"},       {SIGQUIT, "SIGQUIT"},     {SIGILL, "SIGILL"},
    {SIGTRAP, "SIGTRAP"},     {SIGABRT, "SIGABRT"},     {SIGIOT, "SIGIOT"},       {SIGBUS, "SIGBUS"},
    {SIGFPE, "SIGFPE"},       {SIGKILL, "SIGKILL"},     {SIGUSR1, "SIGUSR1"},     {SIGSEGV, "SIGSEGV"},
    {SIGUSR2, "SIGUSR2"},     {SIGPIPE, "SIGPIPE"},     {SIGALRM, "SIGALRM"},     {SIGTERM, "SIGTERM"},
    {SIGSTKFLT, "SIGSTKFLT"}, {SIGCHLD, "SIGCHLD"},     {SIGCONT, "SIGCONT"},     {SIGSTOP, "SIGSTOP"},
    {SIGTSTP, "SIGTSTP"},     {SIGTTIN, "SIGTTIN"},     {SIGTTOU, "SIGTTOU"},     {SIGURG, "SIGURG"},
    {SIGXCPU, "SIGXCPU"},     {SIGXFSZ, "SIGXFSZ"},     {SIGVTALRM, "SIGVTALRM"}, {SIGPROF, "SIGPROF"},
    {SIGWINCH, "SIGWINCH"},   {SIGIO, "SIGIO"},         {SIGPWR, "SIGPWR"},       {SIGSYS, "SIGSYS"},
};

struct SignalCode {
  int signo;  // 0: any signal
  int code;
  const char* name;
};

constexpr SignalCode kSignalCodes[] = {
    {SIGILL, ILL_ILLOPC, "ILL_ILLOPC"},   {SIGILL, ILL_ILLOPN, "ILL_ILLOPN"},
    {SIGILL, ILL_ILLADR, "ILL_ILLADR"},   {SIGILL, ILL_ILLTRP, "ILL_ILLTRP"},
    {SIGILL, ILL_PRVOPC, "ILL_PRVOPC"},   {SIGILL, ILL_PRVREG, "ILL_PRVREG"},
    {SIGILL, ILL_COPROC, "ILL_COPROC"},   {SIGILL, ILL_BADSTK, "ILL_BADSTK"},

    {SIGFPE, FPE_INTDIV, "FPE_INTDIV"},   {SIGFPE, FPE_INTOVF, "FPE_INTOVF"},
    {SIGFPE, FPE_FLTDIV, "FPE_FLTDIV"},   {SIGFPE, FPE_FLTOVF, "FPE_FLTOVF"},
    {SIGFPE, FPE_FLTUND, "FPE_FLTUND"},   {SIGFPE, FPE_FLTRES, "FPE_FLTRES"},
    {SIGFPE, FPE_FLTINV, "FPE_FLTINV"},   {SIGFPE, FPE_FLTSUB, "FPE_FLTSUB"},

    {SIGSEGV, SEGV_MAPERR, "SEGV_MAPERR"}, {SIGSEGV, SEGV_ACCERR, "SEGV_ACCERR"},
    {SIGSEGV, SEGV_BNDERR, "SEGV_BNDERR"}, {SIGSEGV, SEGV_PKUERR, "SEGV_PKUERR"},

    {SIGBUS, BUS_ADRALN, "BUS_ADRALN"},   {SIGBUS, BUS_ADRERR, "BUS_ADRERR"},
    {SIGBUS, BUS_OBJERR, "BUS_OBJERR"},   {SIGBUS, BUS_MCEERR_AR, "BUS_MCEERR_AR"},
    {SIGBUS, BUS_MCEERR_AO, "BUS_MCEERR_AO"},

    {SIGTRAP, TRAP_BRKPT, "TRAP_BRKPT"},  {SIGTRAP, TRAP_TRACE, "TRAP_TRACE"},
    {SIGTRAP, TRAP_BRANCH, "TRAP_BRANCH"}, {SIGTRAP, TRAP_HWBKPT, "TRAP_HWBKPT"},

    // Sender codes, valid for every signal: kill, sigqueue, timers, tgkill (abort uses it), and
    // faults the kernel reports without a finer code (a general-protection fault is SIGSEGV with
    // SI_KERNEL on x86-64).
    {0, SI_USER, "SI_USER"},       {0, SI_KERNEL, "SI_KERNEL"}, {0, SI_QUEUE, "SI_QUEUE"},
    {0, SI_TIMER, "SI_TIMER"},     {0, SI_MESGQ, "SI_MESGQ"},   {0, SI_ASYNCIO, "SI_ASYNCIO"},
    {0, SI_SIGIO, "SI_SIGIO"},     {0, SI_TKILL, "SI_TKILL"},
};

}  // namespace

// Crash time.
const char* tlcrash_async_signal_signame(int signo) {
  for (const auto& entry : kSignalNames) {
    if (entry.signo == signo) return entry.name;
  }
  return nullptr;
}

// Crash time.
const char* tlcrash_async_signal_sigcode(int signo, int code) {
  for (const auto& entry : kSignalCodes) {
    if (entry.signo == signo && entry.code == code) return entry.name;
  }
  for (const auto& entry : kSignalCodes) {
    if (entry.signo == 0 && entry.code == code) return entry.name;
  }
  return nullptr;
}

}  // namespace ml::crash
