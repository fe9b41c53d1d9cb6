#include "screen/pageguard.h"

#include "screen/screen.h"

PageGuard::PageGuard(const QString& name) : PageGuard(name, name) {}

PageGuard::PageGuard(const QString& pageName, const QString& maskName)
    : pageName_(pageName), maskName_(maskName) {
  SaveKeyMask(maskName_);
  SavePage(pageName_);
}

PageGuard::~PageGuard() {
  LoadKeyMask(maskName_);
  RestorePage(pageName_);
}
