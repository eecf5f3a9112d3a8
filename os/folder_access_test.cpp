#include <windows.h>

#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "os/folder_access_windows.h"

// Wine makes up a folder's access list from its POSIX mode (the user, the
// system, Everyone), so the entries it cannot show are checked here on
// descriptors written out in full.
namespace tarvelo::os {
namespace {

class FolderAccess : public ::testing::Test {
 protected:
  void SetUp() override {
    HANDLE token = nullptr;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token));
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    token_.resize(size);
    ASSERT_TRUE(::GetTokenInformation(token, TokenUser, token_.data(), size, &size));
    ::CloseHandle(token);
    user_ = reinterpret_cast<TOKEN_USER*>(token_.data())->User.Sid;
    LPWSTR text = nullptr;
    ASSERT_TRUE(::ConvertSidToStringSidW(user_, &text));
    userText_ = text;
    ::LocalFree(text);
  }

  // OthersMayWrite of the descriptor sddl, "ME" standing for the user.
  bool OthersMay(std::wstring sddl) {
    for (auto at = sddl.find(L"ME"); at != std::wstring::npos; at = sddl.find(L"ME")) sddl.replace(at, 2, userText_);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    EXPECT_TRUE(
        ::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        << ::GetLastError();
    const bool may = OthersMayWrite(descriptor, user_);
    ::LocalFree(descriptor);
    return may;
  }

  std::vector<BYTE> token_;
  PSID user_ = nullptr;
  std::wstring userText_;
};

TEST_F(FolderAccess, OnlyTheUserAndTheSystemsAccountsMayWrite) {
  // The user's own, the system's, TrustedInstaller's, others reading.
  EXPECT_FALSE(OthersMay(L"O:MED:P(A;OICI;FA;;;ME)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;WD)"));
  EXPECT_FALSE(OthersMay(L"O:BAD:(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)"));
  // CREATOR OWNER, and rights for others given only to what is made
  // inside, not to the folder: as at the root of C:.
  EXPECT_FALSE(OthersMay(L"O:SYD:(A;OICIIO;GA;;;CO)(A;CIIO;0x1301bf;;;AU)(A;;0x1200a9;;;AU)(A;;FA;;;ME)"));
  // A denying entry takes rights away only.
  EXPECT_FALSE(OthersMay(L"O:MED:(D;;FA;;;WD)(A;;FA;;;ME)"));
  // Authenticated Users' modify right, inherited as under C:\.
  EXPECT_TRUE(OthersMay(L"O:MED:(A;ID;0x1301bf;;;AU)(A;;FA;;;ME)"));
  // Making subfolders alone, or generic rights.
  EXPECT_TRUE(OthersMay(L"O:MED:(A;;0x4;;;BU)(A;;FA;;;ME)"));
  EXPECT_TRUE(OthersMay(L"O:MED:(A;;GW;;;WD)"));
  EXPECT_TRUE(OthersMay(L"O:MED:(A;;GA;;;S-1-5-21-1-2-3-1001)"));
  // Changing the access list, or its owner.
  EXPECT_TRUE(OthersMay(L"O:MED:(A;;WD;;;AU)"));
  // Another user owning it may change it.
  EXPECT_TRUE(OthersMay(L"O:S-1-5-21-1-2-3-1001D:(A;;FA;;;ME)"));
}

// No access list (Wine reads "D:NO_ACCESS_CONTROL" as an empty one, which
// lets no one in): everyone may write.
TEST_F(FolderAccess, NoAccessListLetsEveryoneWrite) {
  SECURITY_DESCRIPTOR descriptor;
  ASSERT_TRUE(::InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(::SetSecurityDescriptorOwner(&descriptor, user_, FALSE));
  ASSERT_TRUE(::SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE));
  EXPECT_TRUE(OthersMayWrite(&descriptor, user_));
  EXPECT_FALSE(OthersMay(L"O:MED:"));  // an empty list: no one may
}

}  // namespace
}  // namespace tarvelo::os
