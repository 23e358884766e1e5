// The exported C functions of our ORCA library. Each runs its work through Shielded,
// which checks the session handle (an unknown handle gives PBORCA_INVALIDPARMS) and
// keeps every C++ exception inside the library: memory running out, or an exception
// thrown by the caller's callback, gives PBORCA_INVALIDPARMS with an error text that
// says so, and the session stays usable.
// SORVANTI_ORCA_FORMAT and SORVANTI_ORCA_UNICODE, set per built library, are the format
// string and the kind (1: Unicode) of the libraries its sessions create.

#include <algorithm>
#include <exception>
#include <new>
#include <string>

#include "orca/OrcaSession.h"
#include "orca/pborca.h"
#include "platform/Prefix.h"

#ifndef SORVANTI_ORCA_FORMAT
#error "SORVANTI_ORCA_FORMAT must name the library format string (\"0600\")"
#endif
#ifndef SORVANTI_ORCA_UNICODE
#error "SORVANTI_ORCA_UNICODE must say whether new libraries are Unicode (0 or 1)"
#endif

namespace {

using orca::Session;

// Runs work(session) for the handle (session is nullptr when the handle is not one of a
// live session) and gives its result, or `failed` when it throws; the session, if any,
// then reports what went wrong.
template <class Result, class Work>
Result Shielded(HPBORCA handle, Result failed, Work&& work) noexcept {
    Session* session = nullptr;
    try {
        session = orca::SessionFromHandle(handle);
        return work(session);
    } catch (const std::bad_alloc&) {
        if (session)
            session->NoteFailure("out of memory");
    } catch (const std::exception& e) {
        if (session)
            session->NoteFailure(e.what());
    } catch (...) {
        if (session)
            session->NoteFailure("an exception of unknown type");
    }
    return failed;
}

}  // namespace

// A call on a session: PBORCA_INVALIDPARMS for an unknown handle or a failure inside.
#define FORWARD(call)                                      \
    return Shielded(session, int32_t{PBORCA_INVALIDPARMS}, \
                    [&](Session* s) { return s ? s->call : int32_t{PBORCA_INVALIDPARMS}; })

extern "C" {

PBORCA_API HPBORCA PBORCA_SessionOpen(void) {
    return Shielded(nullptr, HPBORCA{nullptr}, [](Session*) {
        return orca::OpenSession(SORVANTI_ORCA_FORMAT, SORVANTI_ORCA_UNICODE
                                                           ? orca::PblKind::Unicode
                                                           : orca::PblKind::Ansi);
    });
}

PBORCA_API void PBORCA_SessionClose(HPBORCA session) {
    Shielded(nullptr, 0, [&](Session*) {
        orca::CloseSession(session);
        return 0;
    });
}

PBORCA_API void PBORCA_SessionGetError(HPBORCA session, char* buffer, int32_t size) {
    if (!buffer || size <= 0)
        return;
    buffer[0] = '\0';
    Shielded(session, 0, [&](const Session* s) {
        const std::string_view text = s ? std::string_view(s->Error()) : "Invalid session handle";
        const size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
        text.copy(buffer, n);
        buffer[n] = '\0';
        return 0;
    });
}

PBORCA_API int32_t SorvantiOrca_SetPrefix(const char* hostPath) {
    return Shielded(nullptr, int32_t{PBORCA_INVALIDPARMS}, [&](Session*) {
        platform::SetPrefixDir(hostPath ? hostPath : "");
        return int32_t{PBORCA_OK};
    });
}

PBORCA_API int32_t PBORCA_SessionSetLibraryList(HPBORCA session, char** libraries, int32_t count) {
    FORWARD(SetLibraryList(libraries, count));
}

PBORCA_API int32_t PBORCA_SessionSetCurrentAppl(HPBORCA session, const char* library,
                                                const char* application) {
    FORWARD(SetCurrentAppl(library, application));
}

PBORCA_API int32_t PBORCA_LibraryCommentModify(HPBORCA session, const char* library,
                                               const char* comment) {
    FORWARD(LibraryCommentModify(library, comment));
}

PBORCA_API int32_t PBORCA_LibraryCreate(HPBORCA session, const char* library, const char* comment) {
    FORWARD(LibraryCreate(library, comment));
}

PBORCA_API int32_t PBORCA_LibraryDelete(HPBORCA session, const char* library) {
    FORWARD(LibraryDelete(library));
}

PBORCA_API int32_t PBORCA_LibraryDirectory(HPBORCA session, const char* library,
                                           char* commentBuffer, int32_t commentSize,
                                           PBORCA_LISTPROC callback, void* userData) {
    FORWARD(LibraryDirectory(library, commentBuffer, commentSize, callback, userData));
}

PBORCA_API int32_t PBORCA_EntryList(HPBORCA session, const char* library, PBORCA_LISTPROC callback,
                                    void* userData) {
    FORWARD(EntryList(library, callback, userData));
}

PBORCA_API int32_t PBORCA_LibraryEntryCopy(HPBORCA session, const char* sourceLibrary,
                                           const char* targetLibrary, const char* name,
                                           PBORCA_TYPE type) {
    FORWARD(EntryCopy(sourceLibrary, targetLibrary, name, type));
}

PBORCA_API int32_t PBORCA_LibraryEntryDelete(HPBORCA session, const char* library, const char* name,
                                             PBORCA_TYPE type) {
    FORWARD(EntryDelete(library, name, type));
}

PBORCA_API int32_t PBORCA_LibraryEntryMove(HPBORCA session, const char* sourceLibrary,
                                           const char* targetLibrary, const char* name,
                                           PBORCA_TYPE type) {
    FORWARD(EntryMove(sourceLibrary, targetLibrary, name, type));
}

PBORCA_API int32_t PBORCA_LibraryEntryExport(HPBORCA session, const char* library, const char* name,
                                             PBORCA_TYPE type, char* buffer, int32_t size) {
    FORWARD(EntryExport(library, name, type, buffer, size));
}

PBORCA_API int32_t PBORCA_LibraryEntryInformation(HPBORCA session, const char* library,
                                                  const char* name, PBORCA_TYPE type,
                                                  PBORCA_ENTRYINFO* info) {
    FORWARD(EntryInformation(library, name, type, info));
}

PBORCA_API int32_t PBORCA_CompileEntryImport(HPBORCA session, const char* library, const char* name,
                                             PBORCA_TYPE type, const char* comment,
                                             const char* source, int32_t length,
                                             PBORCA_ERRPROC callback, void* userData) {
    FORWARD(CompileEntryImport(library, name, type, comment, source, length, callback, userData));
}

PBORCA_API int32_t PBORCA_CompileEntryImportList(HPBORCA session, char** libraries, char** names,
                                                 PBORCA_TYPE* types, char** comments,
                                                 char** sources, int32_t* lengths, int32_t count,
                                                 PBORCA_ERRPROC callback, void* userData) {
    FORWARD(CompileEntryImportList(libraries, names, types, comments, sources, lengths, count,
                                   callback, userData));
}

PBORCA_API int32_t PBORCA_CompileEntryRegenerate(HPBORCA session, const char* library,
                                                 const char* name, PBORCA_TYPE type,
                                                 PBORCA_ERRPROC callback, void* userData) {
    FORWARD(CompileEntryRegenerate(library, name, type, callback, userData));
}

PBORCA_API int32_t PBORCA_ObjectQueryHierarchy(HPBORCA session, const char* library,
                                               const char* name, PBORCA_TYPE type,
                                               PBORCA_HIERPROC callback, void* userData) {
    FORWARD(ObjectQueryHierarchy(library, name, type, callback, userData));
}

PBORCA_API int32_t PBORCA_ObjectQueryReference(HPBORCA session, const char* library,
                                               const char* name, PBORCA_TYPE type,
                                               PBORCA_REFPROC callback, void* userData) {
    FORWARD(ObjectQueryReference(library, name, type, callback, userData));
}

PBORCA_API int32_t PBORCA_CheckOutEntry(HPBORCA session, const char* name,
                                        const char* sourceLibrary, const char* targetLibrary,
                                        const char* userId, PBORCA_TYPE type, int32_t makeCopy) {
    FORWARD(CheckOutEntry(name, sourceLibrary, targetLibrary, userId, type, makeCopy));
}

PBORCA_API int32_t PBORCA_CheckInEntry(HPBORCA session, const char* name, const char* sourceLibrary,
                                       const char* targetLibrary, const char* userId,
                                       PBORCA_TYPE type, int32_t moveEntry) {
    FORWARD(CheckInEntry(name, sourceLibrary, targetLibrary, userId, type, moveEntry));
}

PBORCA_API int32_t PBORCA_ListCheckOutEntries(HPBORCA session, const char* library,
                                              PBORCA_CHECKPROC callback, void* userData) {
    FORWARD(ListCheckOutEntries(library, callback, userData));
}

PBORCA_API int32_t PBORCA_ExecutableCreate(HPBORCA session, const char* executable,
                                           const char* icon, const char* resourceFile,
                                           PBORCA_LNKPROC callback, void* userData,
                                           int32_t* dynamicLibraryFlags, int32_t count,
                                           int32_t flags) {
    FORWARD(ExecutableCreate(executable, icon, resourceFile, callback, userData,
                             dynamicLibraryFlags, count, flags));
}

PBORCA_API int32_t PBORCA_DynamicLibraryCreate(HPBORCA session, const char* library,
                                               const char* resourceFile, int32_t flags) {
    FORWARD(DynamicLibraryCreate(library, resourceFile, flags));
}

}  // extern "C"
