// The blacklist folder search: which files of the installation folder list a
// key fingerprint. A file lists it when the fingerprint occurs byte for byte
// in the file's text (its bytes up to the first NUL or its listed size).
// The search reports each listing file in folder order and the last error
// met; what a listing means (event, dialog, refusal) is the caller's.
// Portable: the folder is reached through a FolderSource.
#pragma once

#include <cstddef>
#include <cstdint>

// Search error codes; the error message shows them plus 100.
enum ListSearchError : uint32_t {
    kSearchOk = 0,
    kSearchNoInstallDir = 1,
    kSearchFindFailed = 2,
    kSearchNoBuffer = 3,
    kSearchOpenFailed = 4,
    kSearchReadFailed = 5,
};
const uint32_t kSearchErrorShownOffset = 100;

// Files of this size or larger are skipped.
const uint64_t kBlacklistSizeLimit = 0x8000000;

const size_t kListNameCapacity = 260;

// What the folder listing says about one file: enough to tell whether a
// version of it seen before is still the one on disk.
struct FileVersion {
    uint64_t size;
    uint64_t lastWrite;  // in ticks of the platform's file time
    uint64_t creation;
};

inline bool SameVersion(const FileVersion &a, const FileVersion &b)
{
    return a.size == b.size && a.lastWrite == b.lastWrite && a.creation == b.creation;
}

struct ListEntry {
    char name[kListNameCapacity];
    FileVersion version;
};

// The installation folder as the search needs it. Only blacklist files are
// listed (the platform decides the name rule); one file is open at a time.
class FolderSource {
public:
    virtual ~FolderSource() {}
    // The first blacklist file; false at the end. *error is a search error
    // code (1 or 2) with *errorValue when the folder cannot be listed.
    virtual bool First(ListEntry *entry, uint32_t *error, uint32_t *errorValue) = 0;
    virtual bool Next(ListEntry *entry) = 0;
    // Opens a listed file for reading; false with the platform's error code.
    // *opened describes the file that was actually opened.
    virtual bool Open(const char *name, FileVersion *opened, uint32_t *errorValue) = 0;
    // Reads up to capacity bytes; *errorValue is the platform's last error
    // after the read, also when it succeeded.
    virtual bool Read(char *buffer, size_t capacity, size_t *got, uint32_t *errorValue) = 0;
    virtual void Close() = 0;
    // Ends the listing.
    virtual void End() = 0;
    // The current time in file time ticks, and how many ticks a file's
    // last-write time must lie in the past before what was read from it is
    // kept (writes within the time stamp's resolution are not told apart).
    virtual uint64_t Now() = 0;
    virtual uint64_t SettledTicks() = 0;
};

class ListKnowledge;

// One search for one fingerprint through the folder:
//     ListSearch search(&folder, knowledge, fingerprint);
//     while (search.NextListing()) { ...the caller's policy...; maybe break; }
//     search.Finish();
// errorCode/errorValue hold the last error met by the files searched so far.
class ListSearch {
public:
    static const size_t kChunkBytes = 0x10000;

    // knowledge may be null (every file is read); chunkBytes is for tests.
    ListSearch(FolderSource *folder, ListKnowledge *knowledge, const char *fingerprint,
               size_t chunkBytes = kChunkBytes);
    ~ListSearch();
    ListSearch(const ListSearch &) = delete;
    ListSearch &operator=(const ListSearch &) = delete;

    // Goes on to the next file that lists the fingerprint; false when the
    // folder has no more.
    bool NextListing();
    // Ends the search; after a search that went through the whole folder,
    // what is known about files no longer listed is forgotten.
    void Finish();
    // The file that NextListing found.
    const char *ListingName() const { return current.name; }

    uint32_t errorCode;
    uint32_t errorValue;

private:
    bool FileLists(const ListEntry &entry);

    FolderSource *folder;
    ListKnowledge *knowledge;
    const char *fingerprint;
    size_t chunkBytes;
    bool indexable;
    // One buffer for every file: the last kCarryBytes of the text before
    // each chunk stay in front of it, so a match across chunks is found.
    char *buffer;
    uint64_t pass;
    ListEntry current;
    bool started;
    bool complete;
};

// One pass over the folder that builds the index of every listed file whose
// index the knowledge wants (see ListKnowledge), reading each file once.
// Errors only leave an index unbuilt: the searches read that file until a
// later pass builds it. chunkBytes is for tests.
void BuildWantedIndexes(FolderSource *folder, ListKnowledge *knowledge, size_t chunkBytes = 0);
