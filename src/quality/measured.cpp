#include "quality/measured.h"

namespace quality {

bool KindTakes(int kind, int p) {
  return !(kind == kFastKind && (p == 1 || p == 3 || p == 4));
}

bool ValueMeasured(int kind, int p, bool markedMeasured) {
  return KindTakes(kind, p) && markedMeasured;
}

}  // namespace quality
