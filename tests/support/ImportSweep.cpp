#include "ImportSweep.h"

#include "CallHook.h"

#include <cstring>
#include <new>

namespace {

ImportSweep* s_sweep = nullptr;
unsigned int s_newIndex = 0;

// Every stub lands here with the import's index in r10. The arguments, in registers and on
// the stack, are kept for the real function, to which it jumps when the call goes on.
extern "C" void* sweepDecide(unsigned int index, void* returnAddress, ULONG_PTR* result)
{
    return s_sweep->decide(index, returnAddress, result);
}
extern "C" void sweepThunk();
asm(R"(
    .text
    .intel_syntax noprefix
    .globl sweepThunk
sweepThunk:
    mov [rsp + 8], rcx
    mov [rsp + 16], rdx
    mov [rsp + 24], r8
    mov [rsp + 32], r9
    sub rsp, 0x68
    movdqu [rsp + 0x20], xmm0
    movdqu [rsp + 0x30], xmm1
    movdqu [rsp + 0x40], xmm2
    movdqu [rsp + 0x50], xmm3
    mov ecx, r10d
    mov rdx, [rsp + 0x68]
    lea r8, [rsp + 0x60]
    call sweepDecide
    movdqu xmm0, [rsp + 0x20]
    movdqu xmm1, [rsp + 0x30]
    movdqu xmm2, [rsp + 0x40]
    movdqu xmm3, [rsp + 0x50]
    mov rcx, [rsp + 0x70]
    mov rdx, [rsp + 0x78]
    mov r8, [rsp + 0x80]
    mov r9, [rsp + 0x88]
    test rax, rax
    jz 1f
    add rsp, 0x68
    jmp rax
1:
    mov rax, [rsp + 0x60]
    add rsp, 0x68
    ret
    .att_syntax prefix
)");

// operator new fails by throwing, which only a function of the language can do.
void* sweepNew(size_t size)
{
    ULONG_PTR ignored = 0;
    void* real = s_sweep->decide(s_newIndex, __builtin_return_address(0), &ignored);
    if (!real)
        throw std::bad_alloc();
    return reinterpret_cast<void* (*)(size_t)>(real)(size);
}

// mov r10d, index; mov r11, sweepThunk; jmp r11
void writeStub(BYTE* stub, unsigned int index)
{
    const BYTE code[] = {0x41, 0xBA, 0, 0, 0, 0, 0x49, 0xBB, 0, 0, 0, 0, 0, 0, 0, 0, 0x41, 0xFF, 0xE3};
    std::memcpy(stub, code, sizeof code);
    std::memcpy(stub + 2, &index, 4);
    void* thunk = reinterpret_cast<void*>(&sweepThunk);
    std::memcpy(stub + 8, &thunk, 8);
}

}  // namespace

const ImportSweep::Site ImportSweep::kNone{~0u, nullptr};

ImportSweep::ImportSweep(HMODULE module, const std::map<std::string, Failure>& failures)
{
    s_sweep = this;
    std::vector<void**> slots;  // one stub each: a function imported from two DLLs has two
    forEachImport(module, [&](const char*, const char* function, void** slot) {
        auto failure = failures.find(function);
        if (failure == failures.end())
            return;
        if (failure->second.throws)
            s_newIndex = static_cast<unsigned int>(m_imports.size());
        m_imports.push_back({function, *slot, failure->second});
        slots.push_back(slot);
    });
    const size_t stubSize = 32;
    BYTE* stubs = static_cast<BYTE*>(
        VirtualAlloc(nullptr, stubSize * slots.size(), MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
    EXPECT_NE(nullptr, stubs) << "no page for " << slots.size() << " stubs (error " << GetLastError() << ")";
    for (unsigned int i = 0; stubs && i < slots.size(); ++i) {
        writeStub(stubs + stubSize * i, i);
        writeImportSlot(slots[i], m_imports[i].failure.throws ? reinterpret_cast<void*>(&sweepNew) : stubs + stubSize * i);
    }
}

void ImportSweep::arm(const Site& site, Mode mode)
{
    m_armed = site;
    m_mode = mode;
    m_injected = 0;
}

void* ImportSweep::decide(unsigned int index, void* returnAddress, ULONG_PTR* result)
{
    // Nothing here may change the last-error code of a call that goes on.
    DWORD error = GetLastError();
    std::lock_guard<std::mutex> only(m_lock);  // the library has threads of its own
    Site site{index, returnAddress};
    m_seen.emplace(site, m_armed);
    bool fails = site == m_armed && (m_mode == FROM_THEN_ON || m_injected == 0);
    if (!fails) {
        SetLastError(error);
        return m_imports[index].real;
    }
    ++m_injected;
    if (failing)
        failing();
    *result = m_imports[index].failure.result;
    SetLastError(m_imports[index].failure.error);
    return nullptr;
}
