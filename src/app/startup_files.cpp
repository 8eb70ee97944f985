#include "app/startup_files.h"

#include <set>
#include <string>

#include "framework/afxwin.h"
#include "framework/file_system.h"
#include "framework/profile_store.h"
#include "settings/profile_keys.h"

namespace {

// The folders where saves of `path` make their temporary files: the link's
// and, when it is one, its target's.
void AddFolders(const std::string& path, std::set<std::string>& folders) {
    if (path.empty()) return;
    folders.insert(fsys::ParentDirectory(path));
    std::string target;
    if (fsys::ResolveLinks(path, target)) folders.insert(fsys::ParentDirectory(target));
}

void ReportUnusableProfile(const fw::ProfileStore& profile) {
    const fw::ProfileState state = profile.State();
    if (state != fw::ProfileState::TooLarge && state != fw::ProfileState::Unreadable) return;
    const char* format =
        state == fw::ProfileState::TooLarge
            ? "The settings file\n  %s\nis larger than 1 MiB, far larger than any settings file, "
              "so it is not used: the default settings apply for this run and the file is left "
              "unchanged. Move it away to start with fresh settings."
            : "The settings file\n  %s\ncannot be read, so it is not used: the default settings "
              "apply for this run and the file is left unchanged. Move it away to start with "
              "fresh settings.";
    AfxMessageBox(fw::TrFormat(format, profile.Path().c_str()), MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace

void PrepareFilesAtStartUp(CWinApp& app) {
    const fw::ProfileStore* profile = app.Profile();
    if (profile == nullptr) return;
    std::set<std::string> folders;
    AddFolders(profile->Path(), folders);
    AddFolders(app.GetProfileString(profile_keys::kDialSection, profile_keys::kLoadFile), folders);
    for (const std::string& folder : folders) fsys::RemoveStaleTempFiles(folder);
    ReportUnusableProfile(*profile);
}
