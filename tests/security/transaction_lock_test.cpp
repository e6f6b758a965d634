#include "security/transaction_lock.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "fake_os/fake_machine.h"
#include "os/file.h"

namespace ostrel {
namespace {

using namespace fake;

constexpr std::u16string_view DataPath = u"C:\\ProgramData\\OstrelNativeUpdater";
constexpr std::u16string_view LockPath = u"C:\\ProgramData\\OstrelNativeUpdater\\install.lock";

std::string Failure(auto operation) {
  try {
    operation();
  } catch (const std::runtime_error& failure) {
    return failure.what();
  }
  return "";
}

class TransactionLockTest : public testing::Test {
 protected:
  FakeFileSystem& files = Machine().fileSystem;
  FakeFile& directory = files.AddDirectory(DataPath);

  void MakeDirectoryUntrusted() { directory.security.dacl->push_back(Allowed(UsersSid, os::FileAllAccess)); }
};

TEST_F(TransactionLockTest, NoLockFileMeansNoTransactionWithoutLookingFurther) {
  MakeDirectoryUntrusted();
  EXPECT_FALSE(IsTransactionActive());
  files.files.erase(u"C:\\PROGRAMDATA\\OSTRELNATIVEUPDATER");
  EXPECT_FALSE(IsTransactionActive()) << "a missing data directory (3) is no transaction either";
  EXPECT_TRUE(files.createFileCalls.empty());
}

TEST_F(TransactionLockTest, ProbesAnUnheldLockWithFullSharingAndLetsGo) {
  files.AddFile(LockPath);
  files.HoldOpen(LockPath, os::GenericRead, os::FileShareRead | os::FileShareWrite | os::FileShareDelete);
  EXPECT_FALSE(IsTransactionActive());
  using Call = FakeFileSystem::CreateFileCall;
  EXPECT_EQ(files.createFileCalls, (std::vector<Call>{{std::u16string(LockPath), 0x80000000, 0x7, 3, 0x200000}}));
  EXPECT_EQ(files.openFiles.size(), 1u) << "the probe's handle is closed at once";
}

TEST_F(TransactionLockTest, ALockHeldWithoutSharingIsAnActiveTransaction) {
  files.AddFile(LockPath);
  std::uintptr_t worker = files.HoldOpen(LockPath, os::GenericRead | os::GenericWrite, 0);
  EXPECT_TRUE(IsTransactionActive());
  files.openFiles.erase(worker);
  EXPECT_FALSE(IsTransactionActive()) << "the file stays after the worker ends";
}

TEST_F(TransactionLockTest, ProbeRefusesWhatItCannotTrust) {
  files.AddFile(LockPath);
  MakeDirectoryUntrusted();
  EXPECT_EQ(Failure(IsTransactionActive), "Updater object is writable by an untrusted principal");
  directory.security.dacl->pop_back();

  files.Find(LockPath)->attributes |= os::FileAttributeReparsePoint;
  EXPECT_EQ(Failure(IsTransactionActive), "Update transaction reparse point rejected");
  EXPECT_TRUE(files.createFileCalls.empty());

  files.AddDirectory(LockPath);
  EXPECT_EQ(Failure(IsTransactionActive), "Inspect update transaction lock (5)");

  files.Find(LockPath)->attributesError = os::ErrorAccessDenied;
  EXPECT_EQ(Failure(IsTransactionActive), "Inspect update transaction (5)");
}

TEST_F(TransactionLockTest, AcquiringCreatesTheLockAndHoldsItUntilClosed) {
  {
    os::Handle lock = AcquireTransactionLock(ApplyWorkerLockPolicy);
    ASSERT_NE(files.Find(LockPath), nullptr);
    EXPECT_EQ(files.Find(LockPath)->contents, "");
    using Call = FakeFileSystem::CreateFileCall;
    EXPECT_EQ(files.createFileCalls.front(), (Call{std::u16string(LockPath), 0xC0000000, 0, 4, 0x200080}));
    EXPECT_TRUE(IsTransactionActive());
    EXPECT_EQ(Failure([] { AcquireTransactionLock(ApplyWorkerLockPolicy); }),
              "Another update transaction is active (32)");
  }
  EXPECT_FALSE(IsTransactionActive());
  EXPECT_NE(files.Find(LockPath), nullptr);
  os::Handle again = AcquireTransactionLock(UninstallLockPolicy);
  EXPECT_EQ(Machine().sleeps.size(), 20u) << "only the refused attempts slept";
}

TEST_F(TransactionLockTest, RetriesASharingViolationUpToThePolicysAttempts) {
  files.AddFile(LockPath);
  files.HoldOpen(LockPath, os::GenericRead | os::GenericWrite, 0);
  EXPECT_EQ(Failure([] { AcquireTransactionLock(ApplyWorkerLockPolicy); }), "Another update transaction is active (32)");
  EXPECT_EQ(Machine().sleeps, std::vector<std::uint32_t>(20, 50));
  EXPECT_EQ(files.createFileCalls.size(), 20u);

  Machine().sleeps.clear();
  EXPECT_EQ(Failure([] { AcquireTransactionLock(UninstallLockPolicy); }),
            "An update is still finishing; uninstall did not remove application files");
  EXPECT_EQ(Machine().sleeps, std::vector<std::uint32_t>(1200, 1000));
}

TEST_F(TransactionLockTest, TakesTheLockOnceTheHolderEnds) {
  files.AddFile(LockPath);
  std::uintptr_t worker = files.HoldOpen(LockPath, os::GenericRead | os::GenericWrite, 0);
  Machine().whileSleeping = [&] {
    if (Machine().sleeps.size() == 3) files.openFiles.erase(worker);
  };
  os::Handle lock = AcquireTransactionLock(UninstallLockPolicy);
  EXPECT_EQ(Machine().sleeps.size(), 3u);
  EXPECT_TRUE(IsTransactionActive());
}

TEST_F(TransactionLockTest, FailsAtOnceOnAnyOtherError) {
  files.files.erase(u"C:\\PROGRAMDATA\\OSTRELNATIVEUPDATER");
  EXPECT_EQ(Failure([] { AcquireTransactionLock(ApplyWorkerLockPolicy); }), "Cannot open update transaction");
  EXPECT_EQ(Failure([] { AcquireTransactionLock(UninstallLockPolicy); }), "Cannot inspect pending update transaction");
  EXPECT_TRUE(Machine().sleeps.empty());
}

TEST_F(TransactionLockTest, HoldsALinkAsItselfNeverItsTarget) {
  files.AddFile(u"C:\\ProgramData\\elsewhere.lock");
  files.AddFileLink(LockPath, u"C:\\ProgramData\\elsewhere.lock");
  os::Handle lock = AcquireTransactionLock(ApplyWorkerLockPolicy);
  ASSERT_EQ(files.openFiles.size(), 1u);
  EXPECT_EQ(files.openFiles.begin()->second.openedAs, u"C:\\PROGRAMDATA\\OSTRELNATIVEUPDATER\\INSTALL.LOCK");
}

}  // namespace
}  // namespace ostrel
