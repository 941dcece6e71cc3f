# The desktop entry and the AppStream metadata speak English by default and
# French where the reader's language is French, and the entry claims no file
# type: a MimeType of inode/directory would make Tamblure the program that
# opens folders on a desktop without a file manager of its choice.
#   cmake -DDESKTOP=<entry> -DMETAINFO=<metainfo> -P desktop_languages.cmake
set(errors)

file(READ ${DESKTOP} entry)
if(entry MATCHES "\n(MimeType=[^\n]*)")
    list(APPEND errors "${DESKTOP}: no MimeType line: \"${CMAKE_MATCH_1}\"")
endif()
if(NOT entry MATCHES "\nExec=[^\n]* %f\n")
    list(APPEND errors "${DESKTOP}: \"Open with\" must give the folder to Exec (%f)")
endif()
foreach(key IN ITEMS Name GenericName Comment Keywords)
    if(NOT entry MATCHES "\n${key}=" OR NOT entry MATCHES "\n${key}\\[fr\\]=")
        list(APPEND errors "${DESKTOP}: ${key} needs an English text and a French one (${key}[fr])")
    endif()
endforeach()

# Each text of the metadata is followed by its French text.
file(READ ${METAINFO} xml)
foreach(element IN ITEMS summary p caption)
    string(REGEX MATCHALL "<${element}>" english "${xml}")
    string(REGEX MATCHALL "<${element} xml:lang=\"fr\">" french "${xml}")
    list(LENGTH english englishCount)
    list(LENGTH french frenchCount)
    if(englishCount EQUAL 0 OR NOT englishCount EQUAL frenchCount)
        list(APPEND errors "${METAINFO}: ${englishCount} <${element}> in English, ${frenchCount} in French")
    endif()
endforeach()

if(errors)
    list(JOIN errors "\n" errors)
    message(FATAL_ERROR "${errors}")
endif()
