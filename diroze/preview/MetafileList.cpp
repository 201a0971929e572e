#include "MetafileList.h"

#include "Exceptions.h"
#include "UtilsFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace diroze {

namespace {

[[noreturn]] void Fail(const std::string& aWhat, int aErrno)
{
    throw hostutils::Exception(aWhat + ": " + hostutils::SystemReason(aErrno).toStdString());
}

std::string TemporaryDirectory()
{
    const char* dir = std::getenv("TMPDIR");
    return dir && *dir ? dir : "/tmp";
}

} // namespace

TTemporaryFileStream::TTemporaryFileStream(const std::string& aDirectory)
{
    const std::string dir = aDirectory.empty() ? TemporaryDirectory() : aDirectory;
    FHandle = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_EXCL | O_CLOEXEC, 0600);
    if (FHandle < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // A file system without anonymous files: create a named one and unlink it at once.
        std::string name = dir + "/diroze-pages-XXXXXX";
        FHandle = ::mkostemp(name.data(), O_CLOEXEC);
        if (FHandle >= 0)
            ::unlink(name.c_str());
    }
    if (FHandle < 0)
        Fail("Cannot create the temporary page file in \"" + dir + "\"", errno);
}

TTemporaryFileStream::~TTemporaryFileStream()
{
    if (FHandle >= 0)
        ::close(FHandle);
}

int64_t TTemporaryFileStream::Size() const
{
    struct stat st {};
    if (::fstat(FHandle, &st) != 0)
        Fail("Stream read error", errno);
    return st.st_size;
}

void TTemporaryFileStream::WriteAt(int64_t aOffset, const QByteArray& aBytes)
{
    const char* data = aBytes.constData();
    size_t left = static_cast<size_t>(aBytes.size());
    off_t at = aOffset;
    while (left > 0) {
        const ssize_t n = ::pwrite(FHandle, data, left, at);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail("Stream write error", errno);
        }
        data += n;
        left -= static_cast<size_t>(n);
        at += n;
    }
}

std::string TTemporaryFileStream::ReadAt(int64_t aOffset, int64_t aLength) const
{
    std::string bytes(static_cast<size_t>(aLength), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pread(FHandle, bytes.data() + done, bytes.size() - done, aOffset + static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail("Stream read error", errno);
        }
        if (n == 0)
            throw hostutils::Exception("Stream read error");
        done += static_cast<size_t>(n);
    }
    return bytes;
}

void TTemporaryFileStream::Truncate(int64_t aSize)
{
    if (::ftruncate(FHandle, aSize) != 0)
        Fail("Stream write error", errno);
}

TMetafileList::~TMetafileList() = default;

void TMetafileList::Insert(int aIndex, TMetafile aMetafile)
{
    aIndex = std::clamp(aIndex, 0, Count());
    ReduceCache(FCacheSize - 1);
    auto entry = std::make_unique<TMetafileEntry>(*this);
    entry->FMetafile = std::make_unique<TMetafile>(std::move(aMetafile));
    entry->FStates = {msInMemory, msDirty};
    FCachedEntries.push_back(entry.get());
    FEntries.insert(FEntries.begin() + aIndex, std::move(entry));
    if (OnMultipleChange)
        OnMultipleChange(*this, aIndex, Count() - 1);
}

const TMetafileEntry& TMetafileList::PeekEntry(int aIndex) const
{
    if (aIndex < 0 || aIndex >= Count())
        throw hostutils::EListError("List index out of bounds (" + std::to_string(aIndex) + ")");
    return *FEntries[static_cast<size_t>(aIndex)];
}

const TMetafileEntry& TMetafileList::GetEntry(int aIndex)
{
    TMetafileEntry& entry = const_cast<TMetafileEntry&>(PeekEntry(aIndex));
    if (!entry.FStates.Contains(msInMemory)) {
        if (CachedCount() >= FCacheSize)
            ReduceCache(FCacheSize - 1);
        LoadFromStorage(entry);
        FCachedEntries.push_back(&entry);
    }
    ++entry.FTouchCount;
    return entry;
}

void TMetafileList::ReduceCache(int aMaxCached)
{
    while (CachedCount() > std::max(aMaxCached, 0)) {
        // The least read entry; among equals the one that entered last.
        size_t victim = FCachedEntries.size() - 1;
        for (size_t i = victim; i-- > 0;)
            if (FCachedEntries[i]->FTouchCount < FCachedEntries[victim]->FTouchCount)
                victim = i;
        TMetafileEntry& entry = *FCachedEntries[victim];
        if (entry.FStates.Contains(msDirty)) {
            if (!FStorage)
                FStorage = std::make_unique<TTemporaryFileStream>(FStorageDirectory);
            SaveToStorage(entry);
        } else {
            // An up-to-date copy lies in the file: the memory is given back at once.
            entry.FMetafile.reset();
            entry.FStates.Exclude(msInMemory);
        }
        FCachedEntries.erase(FCachedEntries.begin() + static_cast<std::ptrdiff_t>(victim));
    }
}

void TMetafileList::SaveToStorage(TMetafileEntry& aEntry)
{
    const QByteArray bytes = aEntry.FMetafile->Serialize();
    const int64_t end = FStorage->Size();
    if (aEntry.FStates.Contains(msInStorage) && end == aEntry.FOffset + aEntry.FSize) {
        FStorage->WriteAt(aEntry.FOffset, bytes);
        FStorage->Truncate(aEntry.FOffset + bytes.size());
    } else {
        FStorage->WriteAt(end, bytes);
        aEntry.FOffset = end;
    }
    aEntry.FSize = bytes.size();
    aEntry.FStates = {msInStorage};
    aEntry.FMetafile.reset();
}

void TMetafileList::LoadFromStorage(TMetafileEntry& aEntry)
{
    if (!aEntry.FStates.Contains(msInStorage) || aEntry.FStates.Contains(msInMemory) || !FStorage)
        throw hostutils::Exception("Stream read error");
    const std::string bytes = FStorage->ReadAt(aEntry.FOffset, aEntry.FSize);
    aEntry.FMetafile = std::make_unique<TMetafile>(TMetafile::Deserialize(bytes));
    aEntry.FStates.Include(msInMemory);
    aEntry.FTouchCount = 0;
}

void TMetafileList::Clear()
{
    if (FEntries.empty())
        return;
    FCachedEntries.clear();
    FEntries.clear();
    FStorage.reset();
    if (OnMultipleChange)
        OnMultipleChange(*this, 0, -1);
}

void TMetafileList::SetCacheSize(int aValue)
{
    FCacheSize = std::max(aValue, 1);
    if (FCacheSize < CachedCount())
        ReduceCache(FCacheSize);
}

} // namespace diroze
