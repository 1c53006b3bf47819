// Knowledge about blacklist file versions (see list_knowledge.h).

#include "list_knowledge.h"

#include <cstring>

ListKnowledge::ListKnowledge() : passes(0) {}

ListKnowledge::~ListKnowledge()
{
    Clear();
}

uint64_t ListKnowledge::BeginPass()
{
    std::lock_guard<std::mutex> hold(lock);
    return ++passes;
}

ListKnowledge::KnownFile *ListKnowledge::Find(const char *name)
{
    for (KnownFile &file : files)
        if (strcmp(file.name, name) == 0)
            return &file;
    return NULL;
}

void ListKnowledge::Forget(size_t position)
{
    ReleaseIndex(files[position].index);
    files.erase(files.begin() + static_cast<std::ptrdiff_t>(position));
    if (files.empty())
        std::vector<KnownFile>().swap(files);
}

ListKnowledge::Plan ListKnowledge::Consult(const ListEntry &entry, uint64_t pass, FingerprintIndex **index)
{
    std::lock_guard<std::mutex> hold(lock);
    KnownFile *file = Find(entry.name);
    if (!file)
        return kRead;
    if (!SameVersion(file->version, entry.version)) {
        Forget(static_cast<size_t>(file - files.data()));
        return kRead;
    }
    if (file->seenInPass < pass)
        file->seenInPass = pass;
    if (file->state == kIndexed) {
        AcquireIndex(file->index);
        *index = file->index;
        return kUseIndex;
    }
    if (file->state == kSettled)
        file->state = kWanted;
    return kRead;
}

void ListKnowledge::Learned(const ListEntry &entry, const FileVersion &opened, uint64_t readAt,
                            uint64_t settledTicks, IndexBuilder *builder, uint64_t pass)
{
    const uint64_t lastChange =
        entry.version.lastWrite > entry.version.creation ? entry.version.lastWrite : entry.version.creation;
    const bool settled = SameVersion(opened, entry.version) && lastChange <= readAt &&
                         readAt - lastChange >= settledTicks;
    FingerprintIndex *built = builder && settled ? builder->Finish() : NULL;

    std::lock_guard<std::mutex> hold(lock);
    KnownFile *file = Find(entry.name);
    if (file && !SameVersion(file->version, entry.version)) {
        if (builder)
            ReleaseIndex(built);  // another pass met a newer version meanwhile
        return;
    }
    if (!file && builder) {
        ReleaseIndex(built);  // forgotten meanwhile
        return;
    }
    if (file && builder) {
        file->building = false;
        if (built) {
            file->index = built;
            file->state = kIndexed;
        } else {
            file->state = settled && builder->Overflowed() ? kTooDense : kSettled;
        }
        return;
    }
    if (file || !settled)
        return;
    KnownFile known;
    memset(&known, 0, sizeof known);
    memcpy(known.name, entry.name, sizeof known.name);
    known.version = entry.version;
    known.seenInPass = pass;
    known.state = kSettled;
    try {
        files.push_back(known);
    } catch (...) {
        // Without room the file is simply read again next time.
    }
}

bool ListKnowledge::BuildWanted()
{
    std::lock_guard<std::mutex> hold(lock);
    for (const KnownFile &file : files)
        if (file.state == kWanted && !file.building)
            return true;
    return false;
}

bool ListKnowledge::TakeBuild(const ListEntry &entry)
{
    std::lock_guard<std::mutex> hold(lock);
    KnownFile *file = Find(entry.name);
    if (!file || !SameVersion(file->version, entry.version) || file->state != kWanted || file->building)
        return false;
    file->building = true;
    return true;
}

void ListKnowledge::GiveUpBuild(const ListEntry &entry)
{
    std::lock_guard<std::mutex> hold(lock);
    KnownFile *file = Find(entry.name);
    if (file && SameVersion(file->version, entry.version)) {
        file->building = false;
        file->state = kSettled;
    }
}

void ListKnowledge::EndPass(uint64_t pass)
{
    std::lock_guard<std::mutex> hold(lock);
    for (size_t i = files.size(); i-- > 0;)
        if (files[i].seenInPass < pass && !files[i].building)
            Forget(i);
}

void ListKnowledge::Clear()
{
    std::lock_guard<std::mutex> hold(lock);
    for (KnownFile &file : files)
        ReleaseIndex(file.index);
    std::vector<KnownFile>().swap(files);
}

size_t ListKnowledge::BytesKept()
{
    std::lock_guard<std::mutex> hold(lock);
    size_t bytes = files.capacity() * sizeof(KnownFile);
    for (const KnownFile &file : files)
        if (file.index)
            bytes += IndexBytes(file.index);
    return bytes;
}
