#pragma once

// Windows only: what a folder's access list allows, read by OpenOwnFolder
// (folder_windows.cpp implements it).
namespace tarvelo::os {

/// Whether the security descriptor (a SECURITY_DESCRIPTOR with its owner
/// and access list) lets anyone but user (a SID), LocalSystem, the
/// Administrators group, TrustedInstaller or CREATOR OWNER make, remove or
/// replace files in the folder it guards, or change who may. Only allowing
/// entries that apply to the folder itself count (denying ones only take
/// rights away); no access list at all lets everyone in, and an owner not
/// among those may always change the list. True as well when the
/// descriptor cannot be read.
bool OthersMayWrite(void* descriptor, void* user);

}  // namespace tarvelo::os
