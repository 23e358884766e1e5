/*
 * pborca.h: the C interface of our ORCA library (libpborc040.so, libpborc050.so,
 * libpborc60.so, libpborc100.so), the calls the program binds by name, their records,
 * callbacks and results, and one call of our own (SorvantiOrca_SetPrefix, at the end).
 * The four libraries are built from the same code and read and write ANSI and Unicode
 * libraries alike; they differ only in the libraries they create: ANSI ones of format
 * "0400", "0500" and "0600", and Unicode ones (PowerBuilder 10 and later).
 *
 * Conventions
 *  - Every PBORCA_* call but PBORCA_SessionOpen takes the session handle first. Texts are
 *    zero-terminated single-byte (ANSI) strings. Library paths are Windows paths
 *    (c:\apps\sales.pbl, z:\home\me\x.pbl); they are mapped to host paths inside.
 *  - Entry names are given without their extension; the entry type says which object
 *    kind is meant (w_main + PBORCA_WINDOW is the object stored as w_main.srw/.win).
 *  - Results are 32-bit integers: PBORCA_OK (0) or one of the negative codes below.
 *    After a failure PBORCA_SessionGetError gives a text naming what failed, on which
 *    library or entry, and why; after a success it gives an empty text.
 *  - Callbacks run on the calling thread, during the call. A directory callback may
 *    call export and entry information on the same session (and may even change the
 *    library: the directory pass keeps reporting what it read when it started).
 *  - No C++ exception leaves a call. A call that fails inside the library (memory
 *    runs out) or whose callback throws gives PBORCA_INVALIDPARMS, with an error text
 *    beginning "The call failed inside the ORCA library: " and the reason; no library is
 *    left half-written and the session stays usable. PBORCA_SessionOpen then gives
 *    NULL.
 *
 * Record layout
 *  - The records follow the platform's C layout. On a 32-bit build they have exactly
 *    the byte offsets PowerBuilder's ORCA uses (checked at compile time in the
 *    implementation); on 64-bit hosts pointers are 8 bytes and move later fields.
 *
 * Libraries, what each call reads and writes
 *  - Directory (PBORCA_LibraryDirectory) reports one record per object, not per entry:
 *    the name without extension, the type from the extension, the comment of the
 *    source entry, the time of the source entry (of the compiled one when the object
 *    has no source), and as size the data size of the compiled entry when there is
 *    one, else that of the source entry. PBORCA_EntryList reports every entry as
 *    stored (names with extension), compiled forms and unknown kinds included.
 *  - Every change to a library is atomic: the new library is written beside the old
 *    one, flushed and renamed over it. Entries a call does not touch keep their bytes.
 *  - Import stores the source (and the comment before it) and removes the object's
 *    compiled entry, which no longer matches; PowerBuilder regenerates it on opening.
 *    Sources are checked by our structure checker; PowerBuilder's compiler is not
 *    available, so no compiled form is ever produced.
 *  - Source control: the library's source-control data holds records of four
 *    zero-terminated fields each: the other library of the pair (Windows path as
 *    given to the call), the entry name with extension (w_main.srw), the user id, and
 *    a one-character flag: 'd' checked out of this library (the other library holds the
 *    working copy), 's' the working copy in this library, to be checked in to the
 *    other one, 'r' registered. Data in any other encoding is reported, never
 *    overwritten.
 *  - A dynamic library (.pbd, beside the library) is a copy of the library without
 *    source entries. An executable is the library image of the linked objects'
 *    compiled entries followed by one TRL* block whose long at offset 4 is the file
 *    offset of the image's HDR* block. Neither is a Windows program.
 */
#ifndef SORVANTI_ORCA_PBORCA_H
#define SORVANTI_ORCA_PBORCA_H

#include <stdint.h>

#if defined(__GNUC__)
#define PBORCA_API __attribute__((visibility("default")))
#else
#define PBORCA_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A session: pointer-sized, NULL when none could be opened. */
typedef void* HPBORCA;

/* Results. */
#define PBORCA_OK 0
#define PBORCA_INVALIDPARMS (-1)    /* a null or malformed argument, an unknown type,
                                       an unknown session, a failure inside the call */
#define PBORCA_DUPOPERATION (-2)    /* already done (current application already set) */
#define PBORCA_OBJNOTFOUND (-3)     /* no such entry in the library */
#define PBORCA_BADLIBRARY (-4)      /* library path that maps to no file, or no library */
#define PBORCA_LIBLISTNOTSET (-5)   /* the call needs the session's library list */
#define PBORCA_LIBNOTINLIST (-6)    /* the library is not in the session's library list */
#define PBORCA_LIBIOERROR (-7)      /* cannot read or write the file, or it is corrupt */
#define PBORCA_OBJEXISTS (-8)       /* the file to create exists already */
#define PBORCA_INVALIDNAME (-9)     /* an entry name that cannot be stored */
#define PBORCA_BUFFERTOOSMALL (-10) /* the text and its zero byte do not fit */
#define PBORCA_COMPERROR (-11)      /* the source has errors (compile-error callback) */
#define PBORCA_LINKERROR (-12)      /* objects cannot be linked (link-error callback) */
#define PBORCA_CURRAPPLNOTSET (-13) /* the call needs the session's current application */
#define PBORCA_OBJHASNOANCS (-14)   /* no ancestor to report (not an error) */
#define PBORCA_OBJHASNOREFS (-15)   /* no reference to report (not an error) */
#define PBORCA_PBDCOUNTERROR (-16)  /* dynamic-library flag count differs from the list */
#define PBORCA_PBDCREATERROR (-17)  /* a dynamic library cannot be created */
#define PBORCA_CHECKOUTERROR (-18)  /* source-control state forbids the operation */

/* Entry types. */
typedef enum pborca_type {
    PBORCA_UNKNOWNTYPE = -1, /* PBORCA_EntryList only: an entry of a kind not below */
    PBORCA_APPLICATION = 0, /* .sra / .apl */
    PBORCA_DATAWINDOW = 1,  /* .srd / .dwo */
    PBORCA_FUNCTION = 2,    /* .srf / .fun */
    PBORCA_MENU = 3,        /* .srm / .men */
    PBORCA_QUERY = 4,       /* .srq / .qry */
    PBORCA_STRUCTURE = 5,   /* .srs / .str */
    PBORCA_USEROBJECT = 6,  /* .sru / .udo */
    PBORCA_WINDOW = 7,      /* .srw / .win */
    PBORCA_PIPELINE = 8,    /* .srp / .pip */
    PBORCA_PROJECT = 9,     /* .srj / .prj */
    PBORCA_PROXYOBJECT = 10 /* .srx / .pxy */
} PBORCA_TYPE;

/* One object of a library directory; one entry for PBORCA_EntryList. */
typedef struct pborca_direntry {
    char szComment[256]; /* zero-terminated, cut at 255 bytes */
    int32_t lCreateTime; /* Unix seconds (UTC) */
    int32_t lEntrySize;  /* bytes (see the directory note above) */
    char* lpszEntryName; /* without extension (with it for PBORCA_EntryList) */
    PBORCA_TYPE otEntryType;
} PBORCA_DIRENTRY;

/* Entry information: 268 bytes on every platform. */
typedef struct pborca_entryinfo {
    char szComment[256]; /* comment of the source entry */
    int32_t lCreateTime; /* time of the source entry (compiled one when no source) */
    int32_t lObjectSize; /* data size of the compiled entry, 0 when there is none */
    int32_t lSourceSize; /* bytes of source text (what an export gives) */
} PBORCA_ENTRYINFO;

/* One problem found while checking a source. */
typedef struct pborca_comperr {
    int32_t iLevel;          /* 1: every problem the check reports stops the import */
    char* lpszMessageNumber; /* the structure check's number, four digits: "0110" */
    char* lpszMessageText;   /* what is wrong, in the checker's words */
    uint16_t iColumnNumber;  /* 1-based; 0 when the problem has no column */
    uint16_t iLineNumber;    /* 1-based; 0 when the problem has no line */
} PBORCA_COMPERR;

/* One ancestor, nearest first. */
typedef struct pborca_hierarchy {
    char* lpszAncestorName;
} PBORCA_HIERARCHY;

/* One object an entry refers to. */
typedef struct pborca_reference {
    char* lpszLibraryName;
    char* lpszEntryName;
    PBORCA_TYPE otEntryType;
} PBORCA_REFERENCE;

/* One problem found while linking an executable or dynamic library. */
typedef struct pborca_linkerr {
    char* lpszMessageText;
} PBORCA_LINKERR;

/* One source-control record of a library. */
typedef struct pborca_checkout {
    char* lpszEntryName;   /* with extension, as recorded */
    char* lpszLibraryName; /* the other library of the pair */
    char* lpszUserID;
    char* lpszVersion; /* always "" (our records carry no version) */
    char cMode;        /* 'd' checked out, 's' working copy, 'r' registered */
} PBORCA_CHECKOUT;

typedef void (*PBORCA_LISTPROC)(PBORCA_DIRENTRY* entry, void* userData);
typedef void (*PBORCA_ERRPROC)(PBORCA_COMPERR* error, void* userData);
typedef void (*PBORCA_HIERPROC)(PBORCA_HIERARCHY* ancestor, void* userData);
typedef void (*PBORCA_REFPROC)(PBORCA_REFERENCE* reference, void* userData);
typedef void (*PBORCA_LNKPROC)(PBORCA_LINKERR* error, void* userData);
typedef void (*PBORCA_CHECKPROC)(PBORCA_CHECKOUT* record, void* userData);

/* The 25 calls, in the order of the program's function table. */

/* 0: a new session, NULL when none can be opened. */
PBORCA_API HPBORCA PBORCA_SessionOpen(void);
/* 1: ends the session; its handle is invalid afterwards. */
PBORCA_API void PBORCA_SessionClose(HPBORCA session);
/* 2: the last error text, cut to size - 1 bytes and zero-terminated. */
PBORCA_API void PBORCA_SessionGetError(HPBORCA session, char* buffer, int32_t size);
/* 3: the libraries searched by hierarchy queries and linked by executable creation.
 * Every library must exist (-4 otherwise); the list replaces the previous one. */
PBORCA_API int32_t PBORCA_SessionSetLibraryList(HPBORCA session, char** libraries, int32_t count);
/* 4: the application object (name.sra in the library, which must be in the list).
 * -2 when the session already has a current application (it is kept). */
PBORCA_API int32_t PBORCA_SessionSetCurrentAppl(HPBORCA session, const char* library,
                                                const char* application);
/* 5: replaces the library's comment. */
PBORCA_API int32_t PBORCA_LibraryCommentModify(HPBORCA session, const char* library,
                                               const char* comment);
/* 6: a new empty library with the comment; -8 when the file exists. */
PBORCA_API int32_t PBORCA_LibraryCreate(HPBORCA session, const char* library, const char* comment);
/* 7: deletes the library file (which must be a library). */
PBORCA_API int32_t PBORCA_LibraryDelete(HPBORCA session, const char* library);
/* 8: the library's comment into commentBuffer (when commentSize > 0) and one callback
 * per object. */
PBORCA_API int32_t PBORCA_LibraryDirectory(HPBORCA session, const char* library,
                                           char* commentBuffer, int32_t commentSize,
                                           PBORCA_LISTPROC callback, void* userData);
/* 9: one callback per entry as stored (names with extension; the type is that of the
 * extension, PBORCA_UNKNOWNTYPE for a kind not in the table). */
PBORCA_API int32_t PBORCA_EntryList(HPBORCA session, const char* library, PBORCA_LISTPROC callback,
                                    void* userData);
/* 10: copies the object's entries (source and compiled) into the target library,
 * replacing the object there; bytes and times are kept. */
PBORCA_API int32_t PBORCA_LibraryEntryCopy(HPBORCA session, const char* sourceLibrary,
                                           const char* targetLibrary, const char* name,
                                           PBORCA_TYPE type);
/* 11: deletes the object's entries (source and compiled). */
PBORCA_API int32_t PBORCA_LibraryEntryDelete(HPBORCA session, const char* library, const char* name,
                                             PBORCA_TYPE type);
/* 12: copy, then delete from the source library. */
PBORCA_API int32_t PBORCA_LibraryEntryMove(HPBORCA session, const char* sourceLibrary,
                                           const char* targetLibrary, const char* name,
                                           PBORCA_TYPE type);
/* 13: the source text exactly as stored and a zero byte. -10 when it does not fit
 * (then buffer[0] is set to zero and nothing else is written). */
PBORCA_API int32_t PBORCA_LibraryEntryExport(HPBORCA session, const char* library, const char* name,
                                             PBORCA_TYPE type, char* buffer, int32_t size);
/* 14: fills the 268-byte information block. */
PBORCA_API int32_t PBORCA_LibraryEntryInformation(HPBORCA session, const char* library,
                                                  const char* name, PBORCA_TYPE type,
                                                  PBORCA_ENTRYINFO* info);
/* 15: checks the source; on problems reports each through the callback and gives -11
 * with the library unchanged; else stores it with the comment (the object's compiled
 * entry is removed). */
PBORCA_API int32_t PBORCA_CompileEntryImport(HPBORCA session, const char* library, const char* name,
                                             PBORCA_TYPE type, const char* comment,
                                             const char* source, int32_t length,
                                             PBORCA_ERRPROC callback, void* userData);
/* 16: imports several entries; all are checked first, nothing is stored when any has
 * a problem; each library is written once. */
PBORCA_API int32_t PBORCA_CompileEntryImportList(HPBORCA session, char** libraries, char** names,
                                                 PBORCA_TYPE* types, char** comments,
                                                 char** sources, int32_t* lengths, int32_t count,
                                                 PBORCA_ERRPROC callback, void* userData);
/* 17: checks the stored source the same way; the library is never changed. */
PBORCA_API int32_t PBORCA_CompileEntryRegenerate(HPBORCA session, const char* library,
                                                 const char* name, PBORCA_TYPE type,
                                                 PBORCA_ERRPROC callback, void* userData);
/* 18: follows "global type NAME from ANCESTOR" through the session's library list and
 * reports each ancestor found there, nearest first; -14 when there is none. */
PBORCA_API int32_t PBORCA_ObjectQueryHierarchy(HPBORCA session, const char* library,
                                               const char* name, PBORCA_TYPE type,
                                               PBORCA_HIERPROC callback, void* userData);
/* 19: the objects of the library list whose names occur as words in the entry's
 * source, other than the entry itself; -15 when there is none. */
PBORCA_API int32_t PBORCA_ObjectQueryReference(HPBORCA session, const char* library,
                                               const char* name, PBORCA_TYPE type,
                                               PBORCA_REFPROC callback, void* userData);
/* 20: checks the object out of sourceLibrary into targetLibrary for the user: the
 * source library records 'd', the target 's'. makeCopy 0 expects the object to be in
 * the target already. -18 when it is checked out already. */
PBORCA_API int32_t PBORCA_CheckOutEntry(HPBORCA session, const char* name,
                                        const char* sourceLibrary, const char* targetLibrary,
                                        const char* userId, PBORCA_TYPE type, int32_t makeCopy);
/* 21: checks the working copy in sourceLibrary back into targetLibrary (copying it
 * there) and clears both records; moveEntry deletes the working copy. -18 when the
 * object is not checked out between these libraries. */
PBORCA_API int32_t PBORCA_CheckInEntry(HPBORCA session, const char* name, const char* sourceLibrary,
                                       const char* targetLibrary, const char* userId,
                                       PBORCA_TYPE type, int32_t moveEntry);
/* 22: one callback per source-control record of the library. */
PBORCA_API int32_t PBORCA_ListCheckOutEntries(HPBORCA session, const char* library,
                                              PBORCA_CHECKPROC callback, void* userData);
/* 23: links the current application's library list into the executable: libraries
 * whose flag is non-zero become dynamic libraries beside themselves, the others' compiled
 * entries go into the executable. Objects without a compiled form are reported through
 * the callback and give -12 with nothing written. icon and resource file are accepted
 * and not used. */
PBORCA_API int32_t PBORCA_ExecutableCreate(HPBORCA session, const char* executable,
                                           const char* icon, const char* resourceFile,
                                           PBORCA_LNKPROC callback, void* userData,
                                           int32_t* dynamicLibraryFlags, int32_t count,
                                           int32_t flags);
/* 24: writes name.pbd beside the library; -17 when an object has no compiled form. */
PBORCA_API int32_t PBORCA_DynamicLibraryCreate(HPBORCA session, const char* library,
                                               const char* resourceFile, int32_t flags);

/* Not an ORCA call: PowerBuilder's own libraries do not have it, so a program binds it
 * by name when it is there and goes on without it when it is not.
 * The host folder of the prefix in which Windows paths are mapped to host paths
 * (c: is its drive_c/, see the program's README), for every call from now on. The
 * library holds its own copy of the program's Windows layer, which on its own would
 * choose the prefix from the environment (SORVANTI_PREFIX, else WINEPREFIX, else the
 * default folder); a program that has chosen its prefix otherwise names it here, so
 * that both map c:\ to the same folder. NULL or "" goes back to the environment's
 * choice. PBORCA_OK, or PBORCA_INVALIDPARMS when it fails inside the library. */
PBORCA_API int32_t SorvantiOrca_SetPrefix(const char* hostPath);

#ifdef __cplusplus
}
#endif

#endif /* SORVANTI_ORCA_PBORCA_H */
