# Starts the development service with a fresh test CA; sourced, not run.
#   start_devservice DIR
# Exports TOLVEK_TEST_SERVICE (http://127.0.0.1:PORT), TOLVEK_TEST_SERVICE_TLS
# (https://localhost:PORT), TOLVEK_TEST_CA (the CA certificate, PEM), TOLVEK_TEST_TLS_PORT and
# TOLVEK_TEST_STALLED_PORT (a port that never answers a connection attempt), and TOLVEK_TEST_PROXY
# (127.0.0.1:PORT of the tests' company proxy, proxy.py).
# The process id is appended to WINE_PIDS (or DEVSERVICE_PIDS) for the caller to end.

# wait_for_port_file FILE MESSAGE: waits up to 5 s for a helper to write FILE; else says MESSAGE, fails.
wait_for_port_file() {
    local i
    for i in $(seq 1 100); do
        [ -s "$1" ] && return 0
        sleep 0.05
    done
    echo "$2" >&2
    return 1
}

start_devservice() {
    local dir=$1
    local here
    here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
    mkdir -p "$dir/tls"
    (
        cd "$dir/tls"
        openssl req -x509 -newkey rsa:2048 -nodes -days 3 -subj "/CN=Tolvek Test CA" \
            -keyout ca.key -out ca.pem >/dev/null 2>&1
        openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout server.key \
            -out server.csr >/dev/null 2>&1
        printf 'subjectAltName=DNS:localhost\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' >ext.cnf
        openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 3 \
            -extfile ext.cnf -out server.pem >/dev/null 2>&1
    ) || { echo "devservice: test CA could not be made" >&2; return 1; }
    python3 "$here/devservice.py" --port-file "$dir/ports.json" --https-port 0 \
        --cert "$dir/tls/server.pem" --key "$dir/tls/server.key" &
    local pid=$!
    WINE_PIDS+=($pid)
    DEVSERVICE_PIDS+=($pid)
    wait_for_port_file "$dir/ports.json" "devservice: did not start" || return 1
    local http https
    http=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["http"])' "$dir/ports.json")
    https=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["https"])' "$dir/ports.json")
    export TOLVEK_TEST_SERVICE="http://127.0.0.1:$http"
    export TOLVEK_TEST_SERVICE_TLS="https://localhost:$https"
    export TOLVEK_TEST_TLS_PORT="$https"
    export TOLVEK_TEST_CA="$dir/tls/ca.pem"
    export TOLVEK_TEST_STALLED_PORT
    TOLVEK_TEST_STALLED_PORT=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["stalled"])' "$dir/ports.json")
    python3 "$here/proxy.py" --port-file "$dir/proxy.json" &
    pid=$!
    WINE_PIDS+=($pid)
    DEVSERVICE_PIDS+=($pid)
    wait_for_port_file "$dir/proxy.json" "devservice: the test proxy did not start" || return 1
    export TOLVEK_TEST_PROXY
    TOLVEK_TEST_PROXY=127.0.0.1:$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["port"])' "$dir/proxy.json")
}
