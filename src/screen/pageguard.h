#pragma once
// The page guard: a page that covers the one it was called from saves the
// key mask and the page image on entry and puts both back when it returns.
// The guard does both at its scope's ends, so no page forgets one and the
// calling page comes back also when an exception leaves the page.

#include <QString>

class PageGuard {
 public:
  // Saves the key mask to TEMP\<name>.msk and the page to Temp\<name>.bmp.
  explicit PageGuard(const QString& name);
  // The same where the page keeps its mask under a name of its own.
  PageGuard(const QString& pageName, const QString& maskName);
  // Loads the mask back, then restores the page.
  ~PageGuard();

  PageGuard(const PageGuard&) = delete;
  PageGuard& operator=(const PageGuard&) = delete;

 private:
  QString pageName_;
  QString maskName_;
};
