# The chaos run of the production line runs ostrel-cli as the stations'
# processes against the simulator and a PostgreSQL server of its own.
add_dependencies(${exe} ostrel-cli ostrel_default_catalogue)
