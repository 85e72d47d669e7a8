"""The per-generator settings a manifest's `settings` object may hold: name
-> a function (value, path) that returns the value as the kind functions
take it, or raises ManifestError naming the path. This build has none yet."""

SETTINGS = {}
