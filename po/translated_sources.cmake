# What xgettext reads and how, for the catalogue's template and for the test
# that finds it complete: the programs' own sources (not the tests, the
# benchmarks or the fuzzers), and the marks of a translated text.
#   tr("…"), uiText("…"), trLater("…")    one text
#   trn("…", "…", count), trnLater("…", "…")  singular and plural
# "%1" to "%9" are the places of the values (Qt's format, which msgfmt checks
# in every translation).
set(TAMBLURE_TRANSLATED_FOLDERS common imaging jpeg metadata batch cli window)
set(TAMBLURE_XGETTEXT_OPTIONS
    --language=C++ --qt --from-code=UTF-8 --keyword --keyword=tr --keyword=uiText --keyword=trLater --keyword=trn:1,2
    --keyword=trnLater:1,2
    --flag=tr:1:qt-format --flag=uiText:1:qt-format --flag=trLater:1:qt-format
    --flag=trn:1:qt-format --flag=trn:2:qt-format --flag=trnLater:1:qt-format --flag=trnLater:2:qt-format
    --sort-by-file --package-name=Tamblure --msgid-bugs-address=dev@tamblure.org
    "--copyright-holder=Tamblure developers")

# tamblure_translated_sources(out source_dir): the files, relative to
# source_dir, sorted so that the template does not depend on the disk's order.
function(tamblure_translated_sources out sourceDir)
    set(files)
    foreach(folder IN LISTS TAMBLURE_TRANSLATED_FOLDERS)
        file(GLOB found RELATIVE ${sourceDir} ${sourceDir}/${folder}/*.cpp ${sourceDir}/${folder}/*.h)
        list(APPEND files ${found})
    endforeach()
    list(SORT files)
    set(${out} ${files} PARENT_SCOPE)
endfunction()
