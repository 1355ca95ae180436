/* Ordinal 10 of the client library, whose signature is not known: the call
   is passed on to the real library's ordinal 10 with the stack and every
   register as the caller left them. The first call resolves the target
   (loading the real library if no operation has yet); the general
   registers, the flags and the SSE registers are saved around that, since
   any of them may carry arguments. */
    .text
    .globl _MrxTrace_Ordinal10
    .def _MrxTrace_Ordinal10; .scl 2; .type 32; .endef
_MrxTrace_Ordinal10:
    cmpl $0, _mrxtrace_ordinal10_target
    je 1f
    jmp *_mrxtrace_ordinal10_target
1:
    pushfl
    pushal
    subl $128, %esp
    movdqu %xmm0, 0(%esp)
    movdqu %xmm1, 16(%esp)
    movdqu %xmm2, 32(%esp)
    movdqu %xmm3, 48(%esp)
    movdqu %xmm4, 64(%esp)
    movdqu %xmm5, 80(%esp)
    movdqu %xmm6, 96(%esp)
    movdqu %xmm7, 112(%esp)
    call _mrxtrace_resolve_ordinal10
    movdqu 0(%esp), %xmm0
    movdqu 16(%esp), %xmm1
    movdqu 32(%esp), %xmm2
    movdqu 48(%esp), %xmm3
    movdqu 64(%esp), %xmm4
    movdqu 80(%esp), %xmm5
    movdqu 96(%esp), %xmm6
    movdqu 112(%esp), %xmm7
    addl $128, %esp
    popal
    popfl
    jmp *_mrxtrace_ordinal10_target

/* Without a real ordinal 10 there is nothing to pass the call to: it
   returns 0 to a caller that cleans its own stack. */
    .globl _mrxtrace_ordinal10_missing
    .def _mrxtrace_ordinal10_missing; .scl 2; .type 32; .endef
_mrxtrace_ordinal10_missing:
    xorl %eax, %eax
    ret
