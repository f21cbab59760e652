// The program's texts by id: every sentence the user reads stands in the string table of the
// resource file (res/tarnwell.rc), numbered in res/strings.h, and the code holds its id. A text
// may carry numbered places, %1 to %9, which the arguments fill by their number: an argument
// may stand anywhere in the text and more than once, so that another language puts them in its
// own order. "%%" is one percent sign; a place without its argument stays as written.
#pragma once
#include <initializer_list>
#include <string>

namespace tw {

// One argument of a text: a text in the ANSI code page, or a whole number written in decimal.
class TextArg {
public:
    TextArg(std::string text) : text_(std::move(text)) {}
    TextArg(const char* text) : text_(text) {}
    TextArg(int n);
    TextArg(unsigned n);
    TextArg(long n);
    TextArg(unsigned long n);
    TextArg(long long n);
    TextArg(unsigned long long n);
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

// The text of string `id` in the ANSI code page, its places filled; empty when the program
// holds no such string.
std::string LoadText(unsigned id, std::initializer_list<TextArg> args = {});

// Fills the places of a text as LoadText does (for a text that is already loaded).
std::string FillPlaces(const std::string& text, std::initializer_list<TextArg> args);

}  // namespace tw
