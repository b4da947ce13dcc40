// Draws the chart of show.html with Apache ECharts (and echarts-gl for the 3D view).
//
// The page writes the diagram's data just before this script as three global arrays:
//   arr       one array of values per series (y-axis), one value per x label
//   arrname   the x labels
//   labelarr  the series names
//   chartnote (only when the chart leaves x labels out) the note to show about it
// A stopped diagram, or one without values, comes as two "No data" labels and series with the
// value 1 everywhere; that is shown as an empty chart with a note, not as bars.
// The view (3D, legend, swapped axes) comes from the check boxes the page has set; the refresh
// choice is the URL's "refresh" parameter ("5" or "30" seconds, anything else off).
(function () {
    'use strict';

    const kNoData = 'No data';
    const chartElement = document.getElementById('chart');
    const notice = document.getElementById('chart-notice');
    if (!chartElement) return;

    function say(text) {
        if (notice) notice.textContent = text;
    }

    function checked(id, fallback) {
        const box = document.getElementById(id);
        return box ? box.checked : fallback;
    }

    // Values are numbers, or texts (FIRST and LAST keep the text they found): a text counts with
    // its leading number, as the server reads it; one without a number is left out.
    function toNumber(value) {
        if (value === undefined || value === null || value === '') return null;
        let number = value;
        if (typeof value !== 'number') {
            const text = String(value).trim();
            number = /^[+-]?0[xX][0-9a-fA-F]/.test(text) ? parseInt(text, 16) : parseFloat(text);
        }
        return Number.isFinite(number) ? number : null;
    }

    // The page's arrays as plain data; null when the data script is missing or broken.
    function readData() {
        if (typeof window.arr === 'undefined' || typeof window.arrname === 'undefined' ||
            typeof window.labelarr === 'undefined') {
            return null;
        }
        const labels = Array.from(window.arrname, (l) => String(l));
        const names = Array.from(window.labelarr, (n) => String(n));
        const series = names.map((_, i) => {
            const values = window.arr[i] || [];
            return labels.map((_, j) => toNumber(values[j]));
        });
        const substitute = labels.length === 2 && names.length === 2 &&
            labels.every((l) => l === kNoData) && names.every((n) => n === kNoData) &&
            series.every((s) => s.every((v) => v === 1));
        return { labels: labels, names: names, series: series, substitute: substitute };
    }

    function webglAvailable() {
        try {
            const canvas = document.createElement('canvas');
            return !!(canvas.getContext('webgl2') || canvas.getContext('webgl'));
        } catch (e) {
            return false;
        }
    }

    // Long labels are cut on the axis; the tooltip shows them whole.
    const kLabelWidth = 140;

    function option2d(data, view) {
        const categoryAxis = {
            type: 'category',
            data: data.labels,
            axisTick: { alignWithLabel: true },
            axisLabel: {
                interval: 0,  // every x label gets its own label
                hideOverlap: false,
                width: kLabelWidth,
                overflow: 'truncate',
                rotate: !view.swap && data.labels.length > 6 ? 35 : 0,
            },
        };
        const valueAxis = { type: 'value', scale: false };
        const option = {
            animation: false,
            tooltip: { trigger: 'axis', axisPointer: { type: 'shadow' }, confine: true },
            legend: { show: view.legend, type: 'scroll', top: 4, data: data.names },
            grid: { left: 12, right: 28, top: view.legend ? 44 : 20, bottom: 12, containLabel: true },
            xAxis: view.swap ? valueAxis : categoryAxis,
            yAxis: view.swap ? Object.assign({ inverse: true }, categoryAxis) : valueAxis,
            series: data.names.map((name, i) => ({
                type: 'bar',
                name: name,
                data: data.series[i],
                barMaxWidth: 48,
                emphasis: { focus: 'series' },
            })),
        };
        // Many labels: a slider keeps each one readable instead of squeezing them all in.
        if (data.labels.length > 40) {
            option.dataZoom = [{
                type: 'slider',
                orient: view.swap ? 'vertical' : 'horizontal',
                [view.swap ? 'yAxisIndex' : 'xAxisIndex']: 0,
                startValue: 0,
                endValue: 39,
            }, {
                type: 'inside',
                [view.swap ? 'yAxisIndex' : 'xAxisIndex']: 0,
            }];
            if (view.swap) option.grid.right = 48;
            else option.grid.bottom = 40;
        }
        return option;
    }

    function option3d(data, view) {
        const xs = view.swap ? data.names : data.labels;
        const ys = view.swap ? data.labels : data.names;
        const axisLabel = { interval: 0, width: kLabelWidth, overflow: 'truncate' };
        return {
            tooltip: {
                confine: true,
                formatter: (p) => {
                    const v = p.value;
                    const label = data.labels[view.swap ? v[1] : v[0]];
                    return echarts.format.encodeHTML(p.seriesName) + '<br>' +
                        echarts.format.encodeHTML(label) + ': ' + v[2];
                },
            },
            legend: { show: view.legend, type: 'scroll', top: 4, data: data.names },
            xAxis3D: { type: 'category', data: xs, name: '', axisLabel: axisLabel },
            yAxis3D: { type: 'category', data: ys, name: '', axisLabel: axisLabel },
            zAxis3D: { type: 'value', name: '' },
            grid3D: {
                // Cells of about the same size along both category axes.
                boxWidth: Math.min(200, Math.max(70, 25 * xs.length)),
                boxDepth: Math.min(200, Math.max(70, 25 * ys.length)),
                viewControl: {
                    alpha: 20,
                    beta: 30,
                    distance: Math.min(320, 180 + 6 * Math.max(xs.length, ys.length)),
                },
                light: { main: { intensity: 1.2, shadow: false }, ambient: { intensity: 0.35 } },
            },
            series: data.names.map((name, i) => ({
                type: 'bar3D',
                name: name,
                shading: 'lambert',
                data: data.labels.flatMap((_, j) => {
                    const v = data.series[i][j];
                    if (v === null) return [];
                    return [{ value: view.swap ? [i, j, v] : [j, i, v] }];
                }),
                emphasis: { label: { show: false } },
            })),
        };
    }

    function emptyOption() {
        return {
            title: {
                text: kNoData,
                left: 'center',
                top: 'middle',
                textStyle: { color: '#9aa5b1', fontSize: 22, fontWeight: 'normal' },
            },
            xAxis: { show: false },
            yAxis: { show: false },
            series: [],
        };
    }

    // Adds the view's parameters of this URL to the links of the data actions, so the chart
    // comes back as it was.
    function keepViewInLinks() {
        const keep = ['3d_view', 'show_legend', 'swap_xy', 'refresh'];
        for (const link of document.querySelectorAll('a.keep-view')) {
            let href = link.getAttribute('href');
            for (const name of keep) {
                const value = window.TG && window.TG.rawParam(name);
                if (value !== undefined && value !== '') href += '&' + name + '=' + value;
            }
            link.setAttribute('href', href);
        }
    }

    function refreshSeconds() {
        const raw = window.TG ? window.TG.rawParam('refresh') : undefined;
        return raw === '5' ? 5 : raw === '30' ? 30 : 0;
    }

    function scheduleRefresh() {
        const seconds = refreshSeconds();
        const select = document.getElementById('view-refresh');
        if (select) select.value = seconds ? String(seconds) : 'off';
        if (!seconds) return;
        window.setTimeout(function reload() {
            // A hidden tab waits until it is seen again; the address no longer holds an action.
            if (document.hidden) {
                document.addEventListener('visibilitychange', reload, { once: true });
                return;
            }
            window.location.replace(window.location.href);
        }, seconds * 1000);
    }

    const view = {
        threeD: checked('view-3d', true),
        legend: checked('view-legend', true),
        swap: checked('view-swap', false),
    };
    const state = { mode: 'none', substitute: false, data: null, view: view };
    window.tgChartState = state;

    keepViewInLinks();
    scheduleRefresh();

    if (typeof window.echarts === 'undefined') {
        say('The chart library is missing (lib/echarts.min.js): the data is in “Data table”.');
        return;
    }
    const data = readData();
    state.data = data;
    if (!data) {
        say('The chart data of this page could not be read: the data is in “Data table”.');
        return;
    }
    state.substitute = data.substitute;
    // A diagram with more x labels than a chart can draw comes with its busiest ones and a note.
    if (typeof window.chartnote === 'string') say(window.chartnote);

    let want3d = view.threeD && !data.substitute;
    if (want3d && (!window['echarts-gl'] || !webglAvailable())) {
        want3d = false;
        say('This browser cannot draw the 3D view (WebGL or echarts-gl is missing); ' +
            'the chart is drawn in 2D.');
    }
    const chart = echarts.init(chartElement, null, { renderer: 'canvas' });
    window.tgChart = chart;
    if (data.substitute) {
        say('No data yet: the diagram is stopped, or no record has reached it since its data ' +
            'was last cleared.');
        chart.setOption(emptyOption());
        state.mode = 'empty';
    } else if (want3d) {
        chart.setOption(option3d(data, view));
        state.mode = '3d';
    } else {
        chart.setOption(option2d(data, view));
        state.mode = '2d';
    }

    const resize = () => chart.resize();
    window.addEventListener('resize', resize);
    if (typeof ResizeObserver !== 'undefined') new ResizeObserver(resize).observe(chartElement);
})();
