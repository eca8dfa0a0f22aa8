#include "tools/check/Messages.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>

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
    {"usage: quillmark-check [--codepage N] [FILE]\n"
     "       quillmark-check --json [--codepage N] FILE SECTION\n"
     "       quillmark-check [--json] [--codepage N] [--kind KIND] [FILE] TEMPLATE...\n"
     "       quillmark-check [--fix] [--rename OLD=NEW]... [--dry-run]\n"
     "                       [--json] [--codepage N] [--kind KIND] [FILE] TEMPLATE...\n"
     "  FILE      a params.ini catalogue; without it, params.ini beside quillmark-check\n"
     "  SECTION   a kind of calculation, as the tree shows it\n"
     "  TEMPLATE  a .docx, .dotx, .docm, .dotm, .odt or .ott whose codes are checked against FILE,\n"
     "            or a folder: every template in it and in its subfolders\n"
     "            (on Windows also a pattern such as *.docx)\n"
     "  --json    print the codes that Quillmark lists for SECTION as a JSON array;\n"
     "            with templates, one JSON object per template\n"
     "  --kind KIND  the templates are for this kind of calculation: codes of other kinds are warned of\n"
     "  --fix     change each unknown code in the templates to the code the report suggests\n"
     "            (not where two codes of FILE are equally near)\n"
     "  --rename OLD=NEW  change every use of the code OLD to NEW, both whole codes as the report\n"
     "            quotes them; NEW must be a code of FILE; give it once for each code\n"
     "  --dry-run report what --fix and --rename would change, and write no file\n"
     "  --codepage N  code page of files without a byte-order mark\n"
     "                (1251, 1252, 866 or 65001; default 1251; Windows uses its ANSI code page)\n"
     "exit: 0 fine, 1 cannot open, read or write a file, 2 usage,\n"
     "      3 the report has warnings (with --fix or --rename: warnings remain)\n",
     "использование: quillmark-check [--codepage N] [ФАЙЛ]\n"
     "               quillmark-check --json [--codepage N] ФАЙЛ РАЗДЕЛ\n"
     "               quillmark-check [--json] [--codepage N] [--kind ВИД] [ФАЙЛ] ШАБЛОН...\n"
     "               quillmark-check [--fix] [--rename СТАРЫЙ=НОВЫЙ]... [--dry-run]\n"
     "                               [--json] [--codepage N] [--kind ВИД] [ФАЙЛ] ШАБЛОН...\n"
     "  ФАЙЛ      каталог params.ini; без него - params.ini рядом с quillmark-check\n"
     "  РАЗДЕЛ    вид расчета, как его показывает дерево\n"
     "  ШАБЛОН    .docx, .dotx, .docm, .dotm, .odt или .ott, коды которого сверяются с ФАЙЛОМ,\n"
     "            или папка: все шаблоны в ней и во вложенных папках\n"
     "            (в Windows также образец вроде *.docx)\n"
     "  --json    вывести коды, которые Quillmark покажет для РАЗДЕЛА, массивом JSON;\n"
     "            с шаблонами - по объекту JSON на шаблон\n"
     "  --kind ВИД  шаблоны написаны для этого вида расчета: о кодах других видов будет предупреждение\n"
     "  --fix     заменить в шаблонах каждый неизвестный код кодом, который подсказывает отчет\n"
     "            (кроме случаев, когда два кода ФАЙЛА одинаково близки)\n"
     "  --rename СТАРЫЙ=НОВЫЙ  заменить каждый код СТАРЫЙ на НОВЫЙ; оба - целые коды, как их\n"
     "            приводит отчет; НОВЫЙ должен быть кодом ФАЙЛА; по одному на каждый код\n"
     "  --dry-run показать, что заменили бы --fix и --rename, не записывая файлы\n"
     "  --codepage N  кодовая страница файлов без метки порядка байтов\n"
     "                (1251, 1252, 866 или 65001; по умолчанию 1251; в Windows - кодовая страница ANSI)\n"
     "код выхода: 0 всё в порядке, 1 файл не открывается, не читается или не записывается,\n"
     "            2 ошибка вызова, 3 в отчете есть предупреждения (с --fix или --rename: остались)\n"},
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
    {"quillmark-check: --kind needs a value", "quillmark-check: для --kind нужно значение"},
    {"quillmark-check: '{1}' is none of the six kinds of calculation",
     "quillmark-check: '{1}' - не один из шести видов расчета"},
    {"error", "ошибка"},
    {"a binary Word document (.doc) or an encrypted document, not a package: save it as .docx or .odt without a "
     "password",
     "двоичный документ Word (.doc) или зашифрованный документ, а не пакет: сохраните его как .docx или .odt без "
     "пароля"},
    {"not a Word or OpenDocument package: it has no zip directory (renamed from another file, or cut short?)",
     "не пакет Word или OpenDocument: в нем нет каталога zip (переименован другой файл или файл обрезан?)"},
    {"the package's zip directory is damaged", "каталог zip пакета поврежден"},
    {"the package's part {1} is damaged", "часть пакета {1} повреждена"},
    {"the package's part {1} is encrypted", "часть пакета {1} зашифрована"},
    {"the package's part {1} is compressed by method {2}, which is not supported",
     "часть пакета {1} сжата методом {2}, который не поддерживается"},
    {"the package unpacks to more than {1} MB: refused", "пакет распаковывается больше чем в {1} МБ: отказано"},
    {"the package has no part {1}", "в пакете нет части {1}"},
    {"neither a Word document nor an OpenDocument text", "ни документ Word, ни текстовый документ OpenDocument"},
    {"the package's part {1} is not well-formed XML (line {2})", "часть пакета {1} - неправильный XML (строка {2})"},
    {"the package's part {1} declares a DTD: refused", "часть пакета {1} объявляет DTD: отказано"},
    {"the package's part {1} nests elements more than {2} deep (line {3}): refused",
     "в части пакета {1} элементы вложены глубже {2} уровней (строка {3}): отказано"},
    {"an encrypted document: save it without a password", "зашифрованный документ: сохраните его без пароля"},
    {"the template could not be read: an internal error of quillmark-check",
     "шаблон не удалось прочитать: внутренняя ошибка quillmark-check"},
    {"Template: {1}", "Шаблон: {1}"},
    {"Paragraphs: {1}", "Абзацев: {1}"},
    {"Codes used: {1}", "Использовано кодов: {1}"},
    {"paragraph {1}", "абзац {1}"},
    {"header of section {1}, paragraph {2}", "верхний колонтитул раздела {1}, абзац {2}"},
    {"first page header of section {1}, paragraph {2}", "верхний колонтитул первой страницы раздела {1}, абзац {2}"},
    {"even page header of section {1}, paragraph {2}", "верхний колонтитул четных страниц раздела {1}, абзац {2}"},
    {"footer of section {1}, paragraph {2}", "нижний колонтитул раздела {1}, абзац {2}"},
    {"first page footer of section {1}, paragraph {2}", "нижний колонтитул первой страницы раздела {1}, абзац {2}"},
    {"even page footer of section {1}, paragraph {2}", "нижний колонтитул четных страниц раздела {1}, абзац {2}"},
    {"footnote {1}, paragraph {2}", "сноска {1}, абзац {2}"},
    {"endnote {1}, paragraph {2}", "концевая сноска {1}, абзац {2}"},
    {"unknown code {1}", "неизвестный код {1}"},
    {"; did you mean {1}?", "; возможно, имелся в виду {1}?"},
    {"code {1} is not a code of {2}: it is listed for {3}", "код {1} не из вида расчета {2}: он есть в {3}"},
    {"Codes that no template uses:", "Коды, которых нет ни в одном шаблоне:"},
    {"{1} error(s).", "Ошибок: {1}."},
    {"the file is larger than {1} MB: refused", "файл больше {1} МБ: отказано"},
    {"Catalogue: {1}", "Каталог: {1}"},
    {"not a template: the templates read are .docx, .dotx, .docm, .dotm, .odt and .ott",
     "не шаблон: читаются шаблоны .docx, .dotx, .docm, .dotm, .odt и .ott"},
    {"no template matches this pattern", "ни один шаблон не подходит под этот образец"},
    {"no template in this folder or its subfolders", "в этой папке и ее вложенных папках нет шаблонов"},
    {"this folder cannot be read: its templates are not checked",
     "эту папку не удалось прочитать: шаблоны в ней не проверены"},
    {"the file Word or LibreOffice keeps beside an open document, not a template",
     "служебный файл, который Word или LibreOffice держит рядом с открытым документом, а не шаблон"},
    {"quillmark-check: warning: {1} is none of the six kinds of calculation and no section of {2}: its list is empty",
     "quillmark-check: предупреждение: {1} - не один из шести видов расчета и не раздел {2}: список пуст"},
    {"Press any key to close this window.", "Нажмите любую клавишу, чтобы закрыть это окно."},
    {"the package cannot be written back safely (Zip64, or entries that overlap): it is left as it was",
     "пакет нельзя безопасно записать заново (Zip64 или перекрывающиеся записи): он оставлен как был"},
    {"quillmark-check: --rename needs OLD=NEW", "quillmark-check: для --rename нужно СТАРЫЙ=НОВЫЙ"},
    {"quillmark-check: {1} is no code of {2}: add it to the catalogue first",
     "quillmark-check: {1} - не код из {2}: сначала добавьте его в каталог"},
    {"quillmark-check: --fix, --rename and --dry-run need templates",
     "quillmark-check: для --fix, --rename и --dry-run нужны шаблоны"},
    {"change", "изменение"},
    {"{1} is now {2}", "{1} заменен на {2}"},
    {"{1} would be {2}", "{1} будет заменен на {2}"},
    {"{1} cannot be changed here: a tab, a symbol or a field stands inside it",
     "{1} нельзя заменить здесь: внутри него табуляция, символ или поле"},
    {"the template is open in Word or LibreOffice ({1} is beside it): close it first; it is left as it was",
     "шаблон открыт в Word или LibreOffice (рядом лежит {1}): сначала закройте его; он оставлен как был"},
    {"the template is signed, and a change would break its signature: it is left as it was",
     "шаблон подписан, и изменение нарушило бы подпись: он оставлен как был"},
    {"the template is read-only: it is left as it was", "шаблон только для чтения: он оставлен как был"},
    {"the template changed on disk while it was being fixed: it is left as it was",
     "шаблон изменился на диске, пока его исправляли: он оставлен как был"},
    {"the changed template could not be written ({1}): it is left as it was",
     "измененный шаблон не удалось записать ({1}): он оставлен как был"},
    {"the changed template did not read back as planned: it is left as it was",
     "измененный шаблон прочитался не так, как задумано: он оставлен как был"},
    {"Dry run: no file was written.", "Пробный прогон: ни один файл не записан."},
    {"{1} change(s).", "Изменений: {1}."},
};
static_assert(std::size(kTexts) == static_cast<size_t>(Message::Count), "one text per message");

bool IsRussian(std::string_view locale) { return locale.substr(0, 2) == "ru"; }

// Characters that print nothing, print differently from terminal to terminal,
// or pass for a blank or a hyphen: controls, format characters, blanks other
// than the space, the non-breaking hyphen, lone surrogates, private use.
constexpr std::pair<char32_t, char32_t> kUnseen[] = {
    {0x00, 0x1F},     {0x7F, 0xA0},       {0xAD, 0xAD},       {0x34F, 0x34F},     {0x600, 0x605},      {0x61C, 0x61C},
    {0x6DD, 0x6DD},   {0x70F, 0x70F},     {0x890, 0x891},     {0x8E2, 0x8E2},     {0x115F, 0x1160},    {0x1680, 0x1680},
    {0x17B4, 0x17B5}, {0x180B, 0x180F},   {0x2000, 0x200F},   {0x2011, 0x2011},   {0x2028, 0x202F},    {0x205F, 0x206F},
    {0x3000, 0x3000}, {0x3164, 0x3164},   {0xD800, 0xF8FF},   {0xFE00, 0xFE0F},   {0xFEFF, 0xFEFF},    {0xFFA0, 0xFFA0},
    {0xFFF0, 0xFFFF}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF}, {0xF0000, 0x10FFFF},
};

bool Unseen(char32_t c) {
    return std::any_of(std::begin(kUnseen), std::end(kUnseen),
                       [c](const auto& range) { return c >= range.first && c <= range.second; });
}

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
    return Say(language, message, std::vector<std::string>(arguments));
}

std::string Say(Language language, Message message, const std::vector<std::string>& arguments) {
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

namespace {

std::string Escaped(WStringView text, bool quoting) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        size_t units = 1;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            units = 2;
        }
        if (quoting && (c == '"' || c == '\\')) {
            out += '\\';
            out += static_cast<char>(c);
        } else if (Unseen(c)) {
            char escape[12];
            const bool wide = c > 0xFFFF;
            std::snprintf(escape, sizeof escape, "\\%c%0*X", wide ? 'U' : 'u', wide ? 8 : 4, static_cast<unsigned>(c));
            out += escape;
        } else {
            out += ToUtf8(text.substr(i, units));
        }
        i += units - 1;
    }
    return out;
}

}  // namespace

std::string Quoted(WStringView text) { return '"' + Escaped(text, true) + '"'; }

std::string Shown(WStringView text) { return Escaped(text, false); }

WString SpeltName(WStringView name) {
#ifdef _WIN32
    return WString(name);  // UTF-16 names, lone surrogates and all
#else
    WString spelt;
    for (size_t i = 0; i < name.size(); ++i) {
        const bool pair = name[i] >= 0xD800 && name[i] <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 &&
                          name[i + 1] <= 0xDFFF;
        if (pair) {
            spelt += name.substr(i++, 2);
        } else if (const auto byte = KeptByte(name[i])) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(*byte));
            spelt.append(escape, escape + 4);
        } else {
            spelt += name[i];
        }
    }
    return spelt;
#endif
}

std::string ShownName(WStringView name) { return Shown(SpeltName(name)); }

std::string QuotedPath(WStringView path) { return '"' + ShownName(path) + '"'; }

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
