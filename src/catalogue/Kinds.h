// The six kinds of calculation: the tree's nodes at start, and the section
// names that params.ini is expected to hold.
#pragma once

#include <array>

#include "common/Text.h"

namespace quillmark {

inline constexpr std::array<WStringView, 6> kCalculationKinds = {
    QM_W("Простой расчет"), QM_W("Сводный расчет"),    QM_W("Комплексный расчет"),
    QM_W("Подсчет дней"),   QM_W("Расчет госпошлины"), QM_W("Раздел имущества"),
};

}  // namespace quillmark
