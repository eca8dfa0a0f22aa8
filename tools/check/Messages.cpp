#include "tools/check/Messages.h"

#include <cstdlib>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#endif

namespace quillmark {

namespace {

struct Texts {
    const char* english;
    const char* russian;
};

// In the order of Message.
constexpr Texts kTexts[] = {
    {"usage: quillmark-check [--codepage N] FILE\n"
     "       quillmark-check --json [--codepage N] FILE SECTION\n"
     "  FILE      a params.ini catalogue\n"
     "  SECTION   a kind of calculation, as the tree shows it\n"
     "  --json    print the codes that Quillmark lists for SECTION as a JSON array\n"
     "  --codepage N  code page of files without a byte-order mark\n"
     "                (1251, 1252, 866 or 65001; default 1251; Windows uses its ANSI code page)\n"
     "exit: 0 fine, 1 cannot open FILE, 2 usage, 3 the report has warnings\n",
     "использование: quillmark-check [--codepage N] ФАЙЛ\n"
     "               quillmark-check --json [--codepage N] ФАЙЛ РАЗДЕЛ\n"
     "  ФАЙЛ      каталог params.ini\n"
     "  РАЗДЕЛ    вид расчета, как его показывает дерево\n"
     "  --json    вывести коды, которые Quillmark покажет для РАЗДЕЛА, массивом JSON\n"
     "  --codepage N  кодовая страница файлов без метки порядка байтов\n"
     "                (1251, 1252, 866 или 65001; по умолчанию 1251; в Windows - кодовая страница ANSI)\n"
     "код выхода: 0 всё в порядке, 1 ФАЙЛ не открывается, 2 ошибка вызова, 3 в отчете есть предупреждения\n"},
    {"quillmark-check: --codepage needs a value", "quillmark-check: для --codepage нужно значение"},
    {"quillmark-check: unsupported code page '{1}'", "quillmark-check: кодовая страница '{1}' не поддерживается"},
    {"quillmark-check: unknown option '{1}'", "quillmark-check: неизвестный параметр '{1}'"},
    {"quillmark-check: wrong number of arguments", "quillmark-check: неверное число аргументов"},
    {"warning", "предупреждение"},
    {"no file at {1}: Quillmark shows every list empty", "файла {1} нет: Quillmark покажет все списки пустыми"},
    {"byte {1}: malformed UTF-8 after the UTF-8 mark: Quillmark reads the whole catalogue as empty",
     "байт {1}: неверная последовательность UTF-8 после метки UTF-8: Quillmark прочтет весь каталог как пустой"},
    {"UTF-16 little-endian (byte-order mark FF FE)", "UTF-16 little-endian (метка порядка байтов FF FE)"},
    {"UTF-16 big-endian (byte-order mark FE FF)", "UTF-16 big-endian (метка порядка байтов FE FF)"},
    {"UTF-8 (byte-order mark EF BB BF)", "UTF-8 (метка порядка байтов EF BB BF)"},
    {"no byte-order mark: ANSI code page {1}", "без метки порядка байтов: кодовая страница ANSI {1}"},
    {"byte {1}: non-ASCII text without a byte-order mark is read in code page {2}",
     "байт {1}: текст не из ASCII без метки порядка байтов читается в кодовой странице {2}"},
    {"; the file looks like UTF-8: save it as UTF-8 with its mark (BOM)",
     "; похоже, файл в UTF-8: сохраните его как UTF-8 с меткой (BOM)"},
    {"a NUL character ends the text: everything after it is ignored",
     "символ NUL завершает текст: всё после него не читается"},
    {"text after \"]\" makes this a code line, not a section header",
     "текст после \"]\" делает строку строкой кода, а не заголовком раздела"},
    {"text before the first section is ignored", "текст до первого раздела не читается"},
    {"empty code: the line begins with \"=\"", "пустой код: строка начинается с \"=\""},
    {"empty code: the line has no \"=\"", "пустой код: в строке нет \"=\""},
    {"code {1} repeats line {2} of section {3}", "код {1} повторяет строку {2} раздела {3}"},
    {"section {1} repeats the section at line {2}: only this later one is listed",
     "раздел {1} повторяет раздел в строке {2}: в списке будет только этот, последний"},
    {"section {1} matches none of the six kinds of calculation",
     "раздел {1} не совпадает ни с одним из шести видов расчета"},
    {"no section for the kind {1}: its list is empty", "нет раздела для вида расчета {1}: его список пуст"},
    {"File: {1}", "Файл: {1}"},
    {"Encoding: {1}", "Кодировка: {1}"},
    {"Sections: {1}", "Разделов: {1}"},
    {"  line {1}: [{2}] {3}", "  строка {1}: [{2}] {3}"},
    {"{1} code", "{1} код"},
    {"{1} codes", "{1} кода"},
    {"{1} codes", "{1} кодов"},
    {" (not listed: a later section has its name)", " (не в списке: у более позднего раздела то же имя)"},
    {"No warnings.", "Предупреждений нет."},
    {"{1} warning(s).", "Предупреждений: {1}."},
};
static_assert(std::size(kTexts) == static_cast<size_t>(Message::Count), "one text per message");

bool IsRussian(std::string_view locale) { return locale.substr(0, 2) == "ru"; }

}  // namespace

Language UserLanguage() {
#ifdef _WIN32
    return PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_RUSSIAN ? Language::Russian : Language::English;
#else
    // The first of these that is set decides, as for every POSIX program.
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return IsRussian(value) ? Language::Russian : Language::English;
    }
    return Language::English;
#endif
}

const char* Pattern(Language language, Message message) {
    const Texts& texts = kTexts[static_cast<size_t>(message)];
    return language == Language::Russian ? texts.russian : texts.english;
}

std::string Say(Language language, Message message, std::initializer_list<std::string> arguments) {
    const std::string_view pattern = Pattern(language, message);
    std::string text;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const size_t digit = i + 1;
        if (pattern[i] == '{' && digit + 1 < pattern.size() && pattern[digit + 1] == '}' && pattern[digit] >= '1' &&
            static_cast<size_t>(pattern[digit] - '1') < arguments.size()) {
            text += arguments.begin()[pattern[digit] - '1'];
            i = digit + 1;
        } else {
            text += pattern[i];
        }
    }
    return text;
}

std::string Codes(Language language, size_t count) {
    const size_t last = count % 10, lastTwo = count % 100;
    Message form = Message::ManyCodes;
    if (language == Language::English) {
        form = count == 1 ? Message::OneCode : Message::ManyCodes;
    } else if (last == 1 && lastTwo != 11) {
        form = Message::OneCode;
    } else if (last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14)) {
        form = Message::FewCodes;
    }
    return Say(language, form, {std::to_string(count)});
}

}  // namespace quillmark
