/* Preloaded into 32-bit Wine under qemu-i386: gives fault signals the trap number a real processor would report. */
/* qemu-i386 delivers SIGSEGV and its kin with sigcontext.trapno = -1, and Wine then reports every access violation
 * as an illegal instruction (which breaks IsBadReadPtr and structured exception handling). This wraps the handlers
 * Wine installs for those signals and fills in the trap number from the signal and si_code first. It is built with
 * gcc -m32 -nostdlib and needs no i386 headers, hence the plain declarations. */
typedef void (*Handler)(int, void *, void *);
struct KernelSigaction { void *handler; unsigned long mask[32]; int flags; void (*restorer)(void); };
void *dlsym(void *, const char *);

static Handler wineHandlers[32];
static int (*realSigaction)(int, const struct KernelSigaction *, struct KernelSigaction *);

static int trapNumber(int signal, int code) {
    switch (signal) {
    case 11: return code == 1 || code == 2 ? 14 : 13;     /* SIGSEGV: page fault, else general protection */
    case 7: return 17;                                    /* SIGBUS: alignment check */
    case 4: return 6;                                     /* SIGILL: invalid opcode */
    case 8: return code == 1 ? 0 : code == 2 ? 4 : 16;    /* SIGFPE: divide error, overflow, x87 error */
    case 5: return code == 2 ? 1 : 3;                     /* SIGTRAP: single step, breakpoint */
    }
    return -1;
}

static void withTrapNumber(int signal, void *info, void *context) {
    int *registers = (int *)((char *)context + 20);      /* ucontext_t.uc_mcontext.gregs on i386 */
    if (registers[12] == -1) registers[12] = trapNumber(signal, ((int *)info)[2]);  /* REG_TRAPNO, si_code */
    wineHandlers[signal](signal, info, context);
}

int sigaction(int signal, const struct KernelSigaction *action, struct KernelSigaction *old) {
    if (!realSigaction) realSigaction = dlsym((void *)-1L /* RTLD_NEXT */, "sigaction");
    if (signal != 4 && signal != 5 && signal != 7 && signal != 8 && signal != 11)
        return realSigaction(signal, action, old);
    Handler previous = wineHandlers[signal];
    struct KernelSigaction wrapped;
    int wrap = action && (action->flags & 4 /* SA_SIGINFO */) && (unsigned long)action->handler > 1;
    if (wrap) {
        wrapped = *action;
        wrapped.handler = (void *)withTrapNumber;
        wineHandlers[signal] = (Handler)action->handler;
    }
    int status = realSigaction(signal, wrap ? &wrapped : action, old);
    if (status != 0) wineHandlers[signal] = previous;
    else if (old && old->handler == (void *)withTrapNumber) old->handler = (void *)previous;
    return status;
}
