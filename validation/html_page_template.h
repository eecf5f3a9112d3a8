#pragma once
// The HTML page's template, style and script, embedded in the program when
// it is built from the files of validation/html/ (cmake/embed_html.cmake).

#include "validation/html_writer.h"

namespace tarvelo::html {

/// relatorio.html: the page, with its placeholders.
extern const Template kPageTemplate;
/// relatorio.css: the page's style sheet, put whole into its <style>.
extern const Template kPageStyle;
/// relatorio.js: the page's script (sorting and filter), put whole into
/// its <script>.
extern const Template kPageScript;
/// "sha256-" and the base64 digest of each, as the Content-Security-Policy
/// names what it allows.
extern const char* const kPageStyleHash;
extern const char* const kPageScriptHash;
extern const char* const kPageTemplateHash;

}  // namespace tarvelo::html
