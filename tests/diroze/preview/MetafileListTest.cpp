#include "Exceptions.h"
#include "preview/MetafileList.h"

#include <QDir>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace diroze;

namespace {

// A page told apart from the others by its width.
TMetafile Page(int aNumber)
{
    TMetafile page(aNumber, 100);
    page.Add(rec::TextRect{TRect{0, 0, aNumber, 10}, QStringLiteral("strana %1").arg(aNumber), tfSingleLine});
    return page;
}

class Store : public ::testing::Test {
protected:
    Store()
    {
        FStore.OnMultipleChange = [this](TMetafileList&, int a, int b) { FChanges.emplace_back(a, b); };
    }
    void Fill(int aPages)
    {
        for (int i = 1; i <= aPages; ++i)
            FStore.Add(Page(i));
    }
    bool InMemory(int aIndex) const { return FStore.Count() > aIndex && Entry(aIndex).Metafile() != nullptr; }
    const TMetafileEntry& Entry(int aIndex) const { return FStore.PeekEntry(aIndex); }
    TMetafileList FStore;
    std::vector<std::pair<int, int>> FChanges;
};

TEST_F(Store, EleventhPageEvictsTheLatestUnreadOne)
{
    Fill(10);
    EXPECT_FALSE(FStore.HasStorage());
    EXPECT_EQ(FStore.CachedCount(), 10);
    FStore.Add(Page(11));
    EXPECT_TRUE(FStore.HasStorage());
    EXPECT_EQ(FStore.CachedCount(), 10);
    for (int i = 0; i < 11; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(InMemory(i), i != 9) << "the tenth page went to the file";
    }
    EXPECT_EQ(Entry(9).States(), TMetafileEntryStates{msInStorage});
    EXPECT_EQ(Entry(10).States(), (TMetafileEntryStates{msInMemory, msDirty}));
    EXPECT_EQ(FChanges.back(), (std::pair{10, 10}));
}

TEST_F(Store, ReadPagesOutlastUnreadOnes)
{
    Fill(10);
    for (int i = 0; i < 9; ++i)
        FStore.GetEntry(i);
    FStore.GetEntry(0);
    FStore.Add(Page(11)); // evicts page 10, the only unread one
    EXPECT_FALSE(InMemory(9));
    FStore.Add(Page(12)); // now page 11 is the latest unread
    EXPECT_FALSE(InMemory(10));
    EXPECT_TRUE(InMemory(11));
    for (int i = 0; i < 9; ++i)
        EXPECT_TRUE(InMemory(i));
}

TEST_F(Store, ReadingAStoredPageBringsItBack)
{
    Fill(11); // page 10 is in the file
    const TMetafileEntry& back = FStore.GetEntry(9);
    ASSERT_NE(back.Metafile(), nullptr);
    EXPECT_EQ(*back.Metafile(), Page(10));
    EXPECT_EQ(back.TouchCount(), 1);
    EXPECT_EQ(back.States(), (TMetafileEntryStates{msInMemory, msInStorage})) << "not dirty: its copy is in the file";
    EXPECT_EQ(FStore.CachedCount(), 10);
    EXPECT_FALSE(InMemory(10)) << "page 11, unread and latest, made room";
}

TEST_F(Store, EveryPageReadsBackUnchangedThroughASmallCache)
{
    FStore.SetCacheSize(3);
    Fill(40);
    for (int round = 0; round < 3; ++round)
        for (int i = 0; i < 40; i += 1 + round) {
            SCOPED_TRACE(i);
            ASSERT_EQ(*FStore.GetEntry(i).Metafile(), Page(i + 1));
            ASSERT_LE(FStore.CachedCount(), 3);
        }
}

TEST_F(Store, ClearAndCacheSize)
{
    FStore.Clear();
    EXPECT_TRUE(FChanges.empty()) << "an empty store fires nothing";
    Fill(12);
    FChanges.clear();
    FStore.Clear();
    EXPECT_EQ(FChanges, (std::vector<std::pair<int, int>>{{0, -1}}));
    EXPECT_EQ(FStore.Count(), 0);
    EXPECT_FALSE(FStore.HasStorage()) << "the file is closed and so deleted";

    Fill(5);
    FStore.SetCacheSize(0);
    EXPECT_EQ(FStore.CacheSize(), 1);
    EXPECT_EQ(FStore.CachedCount(), 1);
    EXPECT_TRUE(InMemory(0)) << "the latest unread pages went first";
    EXPECT_EQ(*FStore.GetEntry(4).Metafile(), Page(5));
}

TEST_F(Store, InsertClampsTheIndex)
{
    FStore.Insert(-5, Page(1));
    FStore.Insert(99, Page(3));
    FStore.Insert(1, Page(2));
    ASSERT_EQ(FStore.Count(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(FStore.GetEntry(i).Metafile()->Width(), i + 1);
    EXPECT_EQ(FChanges, (std::vector<std::pair<int, int>>{{0, 0}, {1, 1}, {1, 2}}));
    EXPECT_THROW(FStore.GetEntry(3), hostutils::EListError);
    EXPECT_THROW(FStore.GetEntry(-1), hostutils::EListError);
}

TEST_F(Store, StorageFileIsAnonymousAndPrivate)
{
    const QString dir = QDir::tempPath() + QStringLiteral("/diroze-store-test-%1").arg(::getpid());
    ASSERT_TRUE(QDir().mkpath(dir));
    FStore.SetStorageDirectory(dir.toStdString());
    Fill(30);
    EXPECT_TRUE(FStore.HasStorage());
    EXPECT_TRUE(QDir(dir).entryList(QDir::Files | QDir::Hidden).isEmpty()) << "no name in the directory";
    QDir(dir).removeRecursively();
}

TEST_F(Store, StorageFailuresReachTheOperationAndKeepTheEntries)
{
    FStore.SetStorageDirectory("/nonexistent/dir");
    Fill(10);
    EXPECT_THROW(FStore.Add(Page(11)), hostutils::Exception);
    EXPECT_EQ(FStore.Count(), 10);
    EXPECT_EQ(FStore.CachedCount(), 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(*FStore.GetEntry(i).Metafile(), Page(i + 1));

    FStore.SetStorageDirectory({});
    FStore.Add(Page(11));
    EXPECT_EQ(FStore.Count(), 11);
    EXPECT_EQ(*FStore.GetEntry(10).Metafile(), Page(11));
}

} // namespace
