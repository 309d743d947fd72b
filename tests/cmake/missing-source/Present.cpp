// Present, so that only the other source of the suite is missing.
