# tamblure_page_options(PAGE ALL VALUED): the options a manual page lists in
# the tags of its OPTIONS section (the line after each ".TP", such as
# "\fB\-q\fR, \fB\-\-quality\fR \fIN\fR"), in the page's order, into ALL; into
# VALUED, those whose tag names a value in italics. The test suite holds these
# lists to the program's --help, and the bash completion is written from them.
function(tamblure_page_options page all valued)
    file(READ ${page} text)
    set(names)
    set(withValue)
    if(text MATCHES "\n\\.SH \"?OPTIONS\"?\n(.*)")
        string(REGEX REPLACE "\n\\.SH .*" "" options "${CMAKE_MATCH_1}")
        string(REGEX MATCHALL "\\.TP\n[^\n]*" tags "${options}")
        foreach(tag IN LISTS tags)
            string(REGEX MATCHALL "(\\\\-)+[A-Za-z0-9]([A-Za-z0-9]|\\\\-)*" inTag "${tag}")
            string(REPLACE "\\-" "-" inTag "${inTag}")
            list(APPEND names ${inTag})
            if(inTag AND tag MATCHES "\\\\fI")
                list(APPEND withValue ${inTag})
            endif()
        endforeach()
    endif()
    set(${all} ${names} PARENT_SCOPE)
    set(${valued} ${withValue} PARENT_SCOPE)
endfunction()
