/* Calls an export the way a setup program does (the standard calling
 * convention of exported functions: arguments pushed last to first, the
 * callee removes them) and measures what the callee did to the stack and to
 * the registers it must keep.
 *
 *   long __cdecl CallExport(void *function, const unsigned long *args,
 *                           unsigned long count, long *removed,
 *                           unsigned long *clobbered);
 *
 * Returns the callee's EAX. *removed receives the bytes the callee took off
 * the stack on return (4 per argument for a correct export); *clobbered a
 * bit for each callee-saved register it did not keep: 1 EBX, 2 ESI, 4 EDI
 * (a callee that loses EBP does not come back here in one piece). */
    .text
    .globl _CallExport
    .def _CallExport; .scl 2; .type 32; .endef
_CallExport:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    subl $4, %esp                 /* -16(%ebp): stack pointer with the arguments in place */
    movl 16(%ebp), %ecx           /* count */
    movl 12(%ebp), %edx           /* args */
1:  testl %ecx, %ecx
    jz 2f
    pushl -4(%edx,%ecx,4)         /* the last argument first */
    decl %ecx
    jmp 1b
2:  movl %esp, -16(%ebp)
    movl 8(%ebp), %eax
    movl $0x5EB1C0DE, %ebx        /* canaries in the registers the callee keeps */
    movl $0x51DE51DE, %esi
    movl $0xED1ED1ED, %edi
    call *%eax
    /* EBP is kept by a correct callee; the frame is read through it. */
    movl %esp, %ecx
    subl -16(%ebp), %ecx          /* bytes the callee removed */
    movl 20(%ebp), %edx
    movl %ecx, (%edx)
    xorl %ecx, %ecx
    cmpl $0x5EB1C0DE, %ebx
    je 3f
    orl $1, %ecx
3:  cmpl $0x51DE51DE, %esi
    je 4f
    orl $2, %ecx
4:  cmpl $0xED1ED1ED, %edi
    je 5f
    orl $4, %ecx
5:  movl 24(%ebp), %edx
    movl %ecx, (%edx)
    leal -12(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
