# Copies the web files of FROM into TO, without the partials the build assembles templates from
# (and removes them where an older build copied them).
file(COPY "${FROM}/" DESTINATION "${TO}" PATTERN "partials" EXCLUDE)
file(REMOVE_RECURSE "${TO}/partials")
