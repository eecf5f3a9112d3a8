# Writes the C++ file that holds the HTML page's template, style and script
# (validation/html/), so that the program carries them inside its one file,
# with the SHA-256 digests of the style and the script in the form the
# page's Content-Security-Policy names them ("sha256-" and base64).
# cmake -DHTML_DIR=<folder> -DOUTPUT=<file.cpp> -P embed_html.cmake

# base64 of the bytes written in hexadecimal.
function(hex_to_base64 hex result)
  set(alphabet "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")
  string(LENGTH "${hex}" length)
  set(text "")
  set(at 0)
  while(at LESS length)
    string(SUBSTRING "${hex}" ${at} 6 group)
    string(LENGTH "${group}" digits)
    set(padded "${group}")
    while(digits LESS 6)
      string(APPEND padded "0")
      math(EXPR digits "${digits} + 1")
    endwhile()
    string(LENGTH "${group}" digits)
    math(EXPR value "0x${padded}")
    math(EXPR characters "${digits} * 2 / 3 + 1")
    foreach(shift 18 12 6 0)
      if(characters GREATER 0)
        math(EXPR index "(${value} >> ${shift}) & 63")
        string(SUBSTRING "${alphabet}" ${index} 1 character)
        string(APPEND text "${character}")
      else()
        string(APPEND text "=")
      endif()
      math(EXPR characters "${characters} - 1")
    endforeach()
    math(EXPR at "${at} + 6")
  endwhile()
  set(${result} "${text}" PARENT_SCOPE)
endfunction()

set(delimiter "tarvelo_page")
set(body "")
foreach(part Template:relatorio.html Style:relatorio.css Script:relatorio.js)
  string(REPLACE ":" ";" part "${part}")
  list(GET part 0 name)
  list(GET part 1 file)
  file(READ "${HTML_DIR}/${file}" text)
  string(FIND "${text}" ")${delimiter}\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${file} holds \")${delimiter}\"")
  endif()
  file(SHA256 "${HTML_DIR}/${file}" digest)
  hex_to_base64("${digest}" digest)
  string(APPEND body "const Template kPage${name}(R\"${delimiter}(${text})${delimiter}\");\n"
                     "const char* const kPage${name}Hash = \"sha256-${digest}\";\n")
endforeach()
file(WRITE "${OUTPUT}.new" "// Made by cmake/embed_html.cmake from validation/html/; do not edit.\n"
                          "#include \"validation/html_page_template.h\"\n\n"
                          "namespace tarvelo::html {\n\n${body}\n}  // namespace tarvelo::html\n")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
