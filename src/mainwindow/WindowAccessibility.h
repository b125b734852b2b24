#pragma once

namespace Ui {
class Tfrm_framework;
}

// Gives every control of the window what a screen reader needs: a name for
// controls whose text does not say what they are, the lamps' states in words,
// and each value label tied to the caption beside it (so "Average in db:"
// is read with the value after it). Changes nothing that is seen or done.
void SetUpAccessibility(Ui::Tfrm_framework& ui);
