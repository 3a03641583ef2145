# Writes base/version.h with the project's version and, when the source
# is a git checkout, the revision it is at ("-modified" when it has changes).
# Run at every build, so that the revision is never stale; the header is
# rewritten only when its content changes, so nothing else rebuilds. Git
# takes no lock here, so a build never gets in the way of a commit.
#
#   cmake -DSOURCE_DIR=... -DOUTPUT=... -DZINDO_VERSION=... -P version.cmake
set(ZINDO_REVISION "")
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS "${SOURCE_DIR}/.git")
  execute_process(
    COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" rev-parse --short=12 HEAD
    OUTPUT_VARIABLE revision OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE status ERROR_QUIET)
  if(status EQUAL 0)
    set(ZINDO_REVISION "${revision}")
    execute_process(
      COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" --no-optional-locks
              diff --quiet HEAD --
      RESULT_VARIABLE changed ERROR_QUIET)
    if(changed EQUAL 1)
      string(APPEND ZINDO_REVISION "-modified")
    endif()
  endif()
endif()
configure_file("${SOURCE_DIR}/base/version.h.in" "${OUTPUT}" @ONLY)
