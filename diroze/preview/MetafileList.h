#pragma once
// The page store: recorded pages in page order. At most CacheSize recordings
// stay in memory; the others are written to an anonymous temporary file that
// the system deletes when it is closed, and read back on demand.
//
// Storage-file failures throw hostutils::Exception with the system's reason
// out of the operation that stored (Insert, Add, SetCacheSize) or read
// (GetEntry) a page; the store keeps the entries it had.

#include "Metafile.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace diroze {

enum TMetafileEntryState : uint8_t { msInMemory, msInStorage, msDirty };
using TMetafileEntryStates = hostutils::TSet<TMetafileEntryState>;

class TMetafileList;

// An anonymous read-write file in the temporary directory.
class TTemporaryFileStream {
public:
    // aDirectory: where the file lives; empty for $TMPDIR or /tmp.
    explicit TTemporaryFileStream(const std::string& aDirectory = {});
    ~TTemporaryFileStream();
    TTemporaryFileStream(const TTemporaryFileStream&) = delete;
    TTemporaryFileStream& operator=(const TTemporaryFileStream&) = delete;

    int64_t Size() const;
    void WriteAt(int64_t aOffset, const QByteArray& aBytes);
    std::string ReadAt(int64_t aOffset, int64_t aLength) const;
    void Truncate(int64_t aSize);

private:
    int FHandle = -1;
};

class TMetafileEntry {
public:
    explicit TMetafileEntry(TMetafileList& aOwner) : FOwner(aOwner) {}

    // The recording; nullptr while it lies only in the storage file.
    const TMetafile* Metafile() const { return FMetafile.get(); }
    TMetafileEntryStates States() const { return FStates; }
    int32_t TouchCount() const { return FTouchCount; }
    int64_t Offset() const { return FOffset; }
    int64_t Size() const { return FSize; }

private:
    friend class TMetafileList;
    TMetafileList& FOwner;
    std::unique_ptr<TMetafile> FMetafile;
    TMetafileEntryStates FStates;
    int64_t FOffset = 0;
    int64_t FSize = 0;
    int32_t FTouchCount = 0;
};

class TMetafileList {
public:
    using TSingleChangeEvent = std::function<void(TMetafileList& aSender, int aIndex)>;
    // aEndIndex -1: the store was emptied.
    using TMultipleChangeEvent = std::function<void(TMetafileList& aSender, int aStartIndex, int aEndIndex)>;

    TMetafileList() = default;
    TMetafileList(const TMetafileList&) = delete;
    TMetafileList& operator=(const TMetafileList&) = delete;
    ~TMetafileList();

    // Stores aMetafile (a copy, or the moved recording) at aIndex, clamped into 0..Count.
    void Insert(int aIndex, TMetafile aMetafile);
    void Add(TMetafile aMetafile) { Insert(Count(), std::move(aMetafile)); }
    // The page at aIndex (0..Count-1) with its recording in memory.
    // Throws EListError for an index outside the store.
    const TMetafileEntry& GetEntry(int aIndex);
    // The page at aIndex as it is: no read is counted and nothing is loaded.
    const TMetafileEntry& PeekEntry(int aIndex) const;
    int Count() const { return static_cast<int>(FEntries.size()); }
    void Clear();

    int CacheSize() const { return FCacheSize; }
    void SetCacheSize(int aValue);
    // The number of recordings counted against the cache.
    int CachedCount() const { return static_cast<int>(FCachedEntries.size()); }
    // Whether the storage file exists.
    bool HasStorage() const { return FStorage != nullptr; }
    // Where the storage file is made; empty for the temporary directory.
    void SetStorageDirectory(std::string aDirectory) { FStorageDirectory = std::move(aDirectory); }

    TSingleChangeEvent OnSingleChange;
    TMultipleChangeEvent OnMultipleChange;

private:
    void ReduceCache(int aMaxCached);
    void SaveToStorage(TMetafileEntry& aEntry);
    void LoadFromStorage(TMetafileEntry& aEntry);

    std::vector<std::unique_ptr<TMetafileEntry>> FEntries;
    std::vector<TMetafileEntry*> FCachedEntries; // in the order they entered the cache
    std::unique_ptr<TTemporaryFileStream> FStorage;
    std::string FStorageDirectory;
    int FCacheSize = 10;
};

} // namespace diroze
