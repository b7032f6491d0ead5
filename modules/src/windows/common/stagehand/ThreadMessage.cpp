#include "ThreadMessage.h"

#include "ExclusiveLock.h"

#include <windows.h>

namespace stagehand {

namespace {

// A thread's block, listed so that unloading the library frees the blocks of threads that
// still run.
struct Block {
    Block* previous;
    Block* next;
    char text[ThreadMessage::kSize];
};

DWORD s_slot = TLS_OUT_OF_INDEXES;
SRWLOCK s_lock = SRWLOCK_INIT;
Block* s_blocks = nullptr;
char s_shared[ThreadMessage::kSize];

}  // namespace

char* ThreadMessage::text()
{
    if (s_slot == TLS_OUT_OF_INDEXES)
        return s_shared;
    // Nothing here may change the caller's last-error code.
    DWORD error = GetLastError();
    auto* block = static_cast<Block*>(TlsGetValue(s_slot));
    if (!block) {
        block = static_cast<Block*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Block)));
        if (block && !TlsSetValue(s_slot, block)) {
            HeapFree(GetProcessHeap(), 0, block);
            block = nullptr;
        }
        if (block) {
            ExclusiveLock only(s_lock);
            block->next = s_blocks;
            if (s_blocks)
                s_blocks->previous = block;
            s_blocks = block;
        }
    }
    SetLastError(error);
    return block ? block->text : s_shared;
}

void ThreadMessage::attach()
{
    s_slot = TlsAlloc();
}

void ThreadMessage::threadEnds()
{
    if (s_slot == TLS_OUT_OF_INDEXES)
        return;
    auto* block = static_cast<Block*>(TlsGetValue(s_slot));
    if (!block)
        return;
    {
        ExclusiveLock only(s_lock);
        (block->previous ? block->previous->next : s_blocks) = block->next;
        if (block->next)
            block->next->previous = block->previous;
    }
    TlsSetValue(s_slot, nullptr);
    HeapFree(GetProcessHeap(), 0, block);
}

void ThreadMessage::detach()
{
    if (s_slot == TLS_OUT_OF_INDEXES)
        return;
    for (Block* block = s_blocks; block;) {
        Block* next = block->next;
        HeapFree(GetProcessHeap(), 0, block);
        block = next;
    }
    s_blocks = nullptr;
    TlsFree(s_slot);
    s_slot = TLS_OUT_OF_INDEXES;
}

}  // namespace stagehand
