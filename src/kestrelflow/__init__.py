"""kestrelflow: browser automation routines; see kestrelflow.generic_utility."""
