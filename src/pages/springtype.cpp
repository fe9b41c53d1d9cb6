// The spring-type page "mpass": the operator names the spring type of the
// spring on the line by its key.

#include <algorithm>

#include "pages/pages.h"
#include "screen/pageguard.h"
#include "screen/screen.h"
#include "springs/springtypes.h"

int ChooseSpringType(int bogie, bool requireValidType) {
  if (bogie < 1 || bogie > kMaxBogieTypes) return 0;
  const BogieType& B = SpringTypeTable()[bogie];
  // A caller that needs a type would otherwise wait for a key that cannot come.
  if (requireValidType && !HasChoosableSpringType(B)) return 0;
  const int count = std::min<int>(B.MaxSprings, kMaxSpringTypes);
  const int x = ScreenOffsetX();

  const PageGuard guard("mpass");
  ShadeWorkArea();
  DrawPanelBox(x + 8, 438, x + 810, 603);
  SetTextStyle("Impact", 42, kBlue);
  PutShadowText(x + 130, 485, "Введите тип пружины", 2, 2, kSilver);

  // The calling page's keys stay live unless the caller needs a type: then
  // only the spring types' keys are lit and nothing else ends the page.
  if (requireValidType) DisableAllKeys();
  for (int s = 1; s <= count; ++s) {
    const int key = B.springTypes[s].KeyMini;
    if (key >= 1 && key <= kKeyCount) EnableKey(key);
  }
  DrawKeyPanel();
  // Drawn from the last type to the first, so where two types share a key
  // the caption left on top is the one the key picks.
  for (int s = count; s >= 1; --s)
    DrawKeyCaption(B.springTypes[s].AltName, "пружина", B.springTypes[s].KeyMini);

  int chosen = 0;
  for (;;) {
    const KeyCode key = PollKey();
    if (key == 0) continue;
    chosen = SpringTypeForKey(B, key);
    if (chosen != 0 || !requireValidType) break;
  }
  return chosen;
}
