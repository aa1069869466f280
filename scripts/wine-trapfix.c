/* LD_PRELOAD shim for 32-bit Wine under qemu-user.
 *
 * qemu-user delivers hardware-fault signals to 32-bit x86 guests with
 * sigcontext.trapno = -1.  Wine's i386 signal handlers pick the Windows
 * exception code from trapno, so every access violation becomes
 * EXCEPTION_ILLEGAL_INSTRUCTION (and divide-by-zero a float fault).
 * This shim wraps the handlers Wine installs and, when trapno is -1,
 * fills in the value the native kernel would have reported, derived
 * from the signal number and si_code.  On a native kernel trapno is
 * never -1, so the shim is a no-op there. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stddef.h>
#include <ucontext.h>

#ifdef __i386__
typedef void (*handler_fn)(int, siginfo_t *, void *);
static handler_fn saved[NSIG];

static int native_trapno(int sig, const siginfo_t *si)
{
    switch (sig) {
    case SIGSEGV:
        return (si->si_code == SEGV_MAPERR || si->si_code == SEGV_ACCERR) ? 14 : 13;
    case SIGBUS:
        return si->si_code == BUS_ADRALN ? 17 : 13;
    case SIGILL:
        return 6;
    case SIGFPE:
        return si->si_code == FPE_INTDIV ? 0 : si->si_code == FPE_INTOVF ? 4 : 16;
    case SIGTRAP:
        return (si->si_code == TRAP_TRACE || si->si_code == TRAP_HWBKPT) ? 1 : 3;
    }
    return -1;
}

static void fixing_handler(int sig, siginfo_t *si, void *ctx)
{
    ucontext_t *uc = ctx;
    if (uc && si && uc->uc_mcontext.gregs[REG_TRAPNO] == -1)
        uc->uc_mcontext.gregs[REG_TRAPNO] = native_trapno(sig, si);
    saved[sig](sig, si, ctx);
}

static int wrapped(int sig)
{
    return sig == SIGSEGV || sig == SIGBUS || sig == SIGILL || sig == SIGFPE || sig == SIGTRAP;
}

int sigaction(int sig, const struct sigaction *act, struct sigaction *old)
{
    static int (*next)(int, const struct sigaction *, struct sigaction *);
    struct sigaction copy;
    handler_fn prev;
    int rc;

    if (!next) next = (int (*)(int, const struct sigaction *, struct sigaction *))dlsym(RTLD_NEXT, "sigaction");
    if (sig <= 0 || sig >= NSIG || !wrapped(sig)) return next(sig, act, old);

    prev = saved[sig];
    if (act && (act->sa_flags & SA_SIGINFO) && act->sa_sigaction) {
        copy = *act;
        saved[sig] = act->sa_sigaction;
        copy.sa_sigaction = fixing_handler;
        act = &copy;
    }
    rc = next(sig, act, old);
    if (rc == 0 && old && (old->sa_flags & SA_SIGINFO) && old->sa_sigaction == fixing_handler)
        old->sa_sigaction = prev;
    return rc;
}
#endif
