"""What the guide's checks (check-doc-*.py) share: how they report what they found."""


def report(tool, faults, failure, success):
    """Prints one line per fault and a summary; returns the exit status (1 when anything is at fault).

    failure follows the count of faults in the summary; success is the whole summary when none."""
    for fault in faults:
        print(f"{tool}: {fault}")
    if faults:
        print(f"{tool}: {len(faults)} {failure}")
        return 1
    print(f"{tool}: {success}")
    return 0
