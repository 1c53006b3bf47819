// What a library that stays loaded knows about the blacklist files it has
// read: per file name, the version (size and times from the folder listing)
// and, once that version has been read twice, its fingerprint index. The
// index is built apart from the searches (BuildWantedIndexes): until it is
// there, searches read the file as before, so no search waits for a build.
// A file whose listing no longer matches is read again. Thread-safe: one
// lock, held only to consult or update the table, never while a file is read
// or an index built. Portable.
#pragma once

#include "fingerprint_index.h"
#include "list_search.h"

#include <mutex>
#include <vector>

class ListKnowledge {
public:
    ListKnowledge();
    ~ListKnowledge();
    ListKnowledge(const ListKnowledge &) = delete;
    ListKnowledge &operator=(const ListKnowledge &) = delete;

    enum Plan {
        kRead,           // read and search the file
        kUseIndex,       // answer from *index (acquired; the caller releases it)
    };

    // A new pass over the folder: its number.
    uint64_t BeginPass();
    // What to do with a listed file. The second read of a settled version
    // makes its index wanted.
    Plan Consult(const ListEntry &entry, uint64_t pass, FingerprintIndex **index);
    // After a successful read of a listed file: `opened` is the file read,
    // `readAt` the time the read began, `builder` the index builder of a
    // build taken with TakeBuild (else null). A version is kept only when
    // the file read is the one listed and had settled before the read began.
    void Learned(const ListEntry &entry, const FileVersion &opened, uint64_t readAt, uint64_t settledTicks,
                 IndexBuilder *builder, uint64_t pass);

    // True when some file's index is wanted and nobody builds it.
    bool BuildWanted();
    // True when the listed version's index is wanted and nobody builds it:
    // the caller now builds it, and ends with Learned or GiveUpBuild.
    bool TakeBuild(const ListEntry &entry);
    // The build taken is given up (the read failed or the builder could not
    // be made): the next read of the file wants it again.
    void GiveUpBuild(const ListEntry &entry);
    // After a pass that went through the whole folder: files it did not see
    // (and no later pass saw) are forgotten.
    void EndPass(uint64_t pass);
    void Clear();

    // Memory kept: table and indexes, in bytes (for tests and benchmarks).
    size_t BytesKept();

private:
    enum State {
        kSettled,    // read once: the next read wants the index
        kWanted,     // read twice: waits for its index
        kIndexed,
        kTooDense,   // searched directly every time
    };
    struct KnownFile {
        char name[kListNameCapacity];
        FileVersion version;
        uint64_t seenInPass;
        State state;
        bool building;
        FingerprintIndex *index;
    };
    KnownFile *Find(const char *name);
    void Forget(size_t position);

    std::mutex lock;
    std::vector<KnownFile> files;
    uint64_t passes;
};
