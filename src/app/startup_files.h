#pragma once
// What the program's files need before the window opens.

class CWinApp;

// Removes the temporary files that saves of earlier runs, killed part-way,
// left beside the profile and the remembered list file, and tells the user
// when the profile cannot be used (it is then neither read nor written).
void PrepareFilesAtStartUp(CWinApp& app);
