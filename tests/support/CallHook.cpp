#include "CallHook.h"

#include <cstring>

void writeImportSlot(void** slot, void* function)
{
    DWORD protection = 0;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
    *slot = function;
    VirtualProtect(slot, sizeof *slot, protection, &protection);
}

void forEachImport(HMODULE module, const std::function<void(const char*, const char*, void**)>& visit)
{
    BYTE* base = reinterpret_cast<BYTE*>(module);
    if (!base)
        return;
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); imports && import->Name; ++import) {
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots)
            if (!IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                visit(reinterpret_cast<const char*>(base + import->Name),
                      reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name,
                      reinterpret_cast<void**>(&slots->u1.Function));
    }
}

void** importSlot(HMODULE module, const char* dll, const char* function)
{
    void** found = nullptr;
    forEachImport(module, [&](const char* d, const char* f, void** slot) {
        if (!found && _stricmp(d, dll) == 0 && std::strcmp(f, function) == 0)
            found = slot;
    });
    return found;
}

HMODULE stagehandModule()
{
    return GetModuleHandleW(L"stagehand.dll");
}
