#pragma once
// Helpers for the tests of our ORCA library: a session that closes itself, and the
// calls wrapped so that tests read as what they check.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "orca/pborca.h"
#include "platform/Paths.h"

namespace orcatest {

// The Windows form (z:\...) of a host path, as the program hands paths to ORCA.
inline std::string Win(const std::string& hostPath) {
    return platform::WindowsPath(hostPath);
}

class Orca {
  public:
    Orca() : handle_(PBORCA_SessionOpen()) {}
    ~Orca() { PBORCA_SessionClose(handle_); }
    Orca(const Orca&) = delete;
    Orca& operator=(const Orca&) = delete;
    operator HPBORCA() const { return handle_; }

    std::string Error() const {
        char text[4096];
        PBORCA_SessionGetError(handle_, text, sizeof text);
        return text;
    }

  private:
    HPBORCA handle_;
};

struct DirRecord {
    std::string name;
    int type = 0;
    std::string comment;
    int32_t time = 0;
    int32_t size = 0;
};

inline void CollectRecord(PBORCA_DIRENTRY* entry, void* user) {
    static_cast<std::vector<DirRecord>*>(user)->push_back(
        {entry->lpszEntryName, static_cast<int>(entry->otEntryType), entry->szComment,
         entry->lCreateTime, entry->lEntrySize});
}

// The directory (one record per object), its result and the library's comment.
inline std::vector<DirRecord> Directory(HPBORCA s, const std::string& lib,
                                        int32_t* result = nullptr, std::string* comment = nullptr) {
    std::vector<DirRecord> records;
    char text[256] = {};
    const int32_t rc =
        PBORCA_LibraryDirectory(s, lib.c_str(), text, sizeof text, &CollectRecord, &records);
    if (result)
        *result = rc;
    if (comment)
        *comment = text;
    return records;
}

// Exports into a buffer large enough for any corpus source.
inline int32_t Export(HPBORCA s, const std::string& lib, const std::string& name, int type,
                      std::string* text) {
    std::vector<char> buffer(4 << 20);
    const int32_t rc =
        PBORCA_LibraryEntryExport(s, lib.c_str(), name.c_str(), static_cast<PBORCA_TYPE>(type),
                                  buffer.data(), static_cast<int32_t>(buffer.size()));
    text->assign(buffer.data());
    return rc;
}

struct Problem {
    int level;
    std::string number, text;
    int line, column;
};

inline void CollectProblem(PBORCA_COMPERR* error, void* user) {
    static_cast<std::vector<Problem>*>(user)->push_back({error->iLevel, error->lpszMessageNumber,
                                                         error->lpszMessageText, error->iLineNumber,
                                                         error->iColumnNumber});
}

inline int32_t Import(HPBORCA s, const std::string& lib, const std::string& name, int type,
                      const std::string& comment, const std::string& source,
                      std::vector<Problem>* problems = nullptr) {
    std::vector<Problem> local;
    return PBORCA_CompileEntryImport(s, lib.c_str(), name.c_str(), static_cast<PBORCA_TYPE>(type),
                                     comment.c_str(), source.data(),
                                     static_cast<int32_t>(source.size()), &CollectProblem,
                                     problems ? problems : &local);
}

// One source of an import list.
struct Source {
    std::string library, name;
    int type = PBORCA_WINDOW;
    std::string comment, text;
};

inline int32_t ImportList(HPBORCA s, std::vector<Source> list, std::vector<Problem>* problems) {
    std::vector<char*> libraries, names, comments, texts;
    std::vector<PBORCA_TYPE> types;
    std::vector<int32_t> lengths;
    for (Source& e : list) {
        libraries.push_back(e.library.data());
        names.push_back(e.name.data());
        types.push_back(static_cast<PBORCA_TYPE>(e.type));
        comments.push_back(e.comment.data());
        texts.push_back(e.text.data());
        lengths.push_back(static_cast<int32_t>(e.text.size()));
    }
    return PBORCA_CompileEntryImportList(
        s, libraries.data(), names.data(), types.data(), comments.data(), texts.data(),
        lengths.data(), static_cast<int32_t>(list.size()), &CollectProblem, problems);
}

// A window source that passes the structure check.
inline std::string WindowSource(const std::string& name, const std::string& ancestor,
                                const std::string& extra = "") {
    return "forward\r\nglobal type " + name + " from " + ancestor + "\r\nend type\r\n" +
           "end forward\r\n\r\nglobal type " + name + " from " + ancestor +
           "\r\nend type\r\nglobal " + name + " " + name + "\r\n\r\non " + name +
           ".create\r\ncall super::create\r\nend on\r\n\r\non " + name +
           ".destroy\r\ncall super::destroy\r\nend on\r\n" + extra;
}

}  // namespace orcatest
